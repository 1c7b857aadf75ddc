// The real binary over TLS against scripted servers with certificates made for the test.

#include <gtest/gtest.h>

#include "harness/network.h"
#include "harness/process.h"
#include "harness/script_server.h"
#include "harness/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using harness::Close;
using harness::Input;
using harness::Reply;
using harness::ScriptServer;

class Tls : public testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        right = harness::make_certificate(certs.path(), "right", "127.0.0.51");
        ASSERT_FALSE(right.cert_file.empty()) << "the openssl command could not make one";
        other_name = harness::make_certificate(certs.path(), "other", "127.0.0.99");
        untrusted = harness::make_certificate(certs.path(), "untrusted", "127.0.0.51");
        // the program trusts the first two, as it would a private certificate authority
        certs.write("trusted.pem", certs.read("right.pem") + certs.read("other.pem"));
    }

    harness::Outcome run(const std::vector<std::string>& arguments) {
        harness::Launch launch;
        launch.input = Input::key_before;
        launch.environment = {"SSL_CERT_FILE=" + certs.file("trusted.pem")};
        return harness::run_pageglean(arguments, dir.path(), launch);
    }

    harness::TempDir certs;
    harness::TempDir dir;
    harness::Certificate right, other_name, untrusted;
};

const std::string k_request =
    "GET /index.html HTTP/1.0\r\nHost: 127.0.0.51\r\nConnection: close\r\nUser-Agent: Pageglean "
    "1.32\r\n";

TEST_F(Tls, APageOverTlsGivesThePlainTranscriptRequestAndFiles) {
    const std::string response = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nHello!";
    const ScriptServer server("127.0.0.51", {Reply{{response}}}, right);
    const auto outcome = run({"https://127.0.0.51/index.html", "page.html"});
    EXPECT_EQ(outcome.exit_code, 0);
    const std::string from_command_log =
        "Command log: https://127.0.0.51/index.html page.html\r\n"
        "Command: https://127.0.0.51/index.html page.html\r\n"
        "URL: 127.0.0.51/index.html\r\nHost: 127.0.0.51\r\nPath: index.html\r\nFile: page.html\r\n"
        "\r\nInternal Log:\r\nIP:  855638143\r\n\r\nContact log:\r\n" +
        k_request +
        "\r\nDownload log:\r\n 1. step:  50 of  50\r\n\r\nLaenge Download: 8192 Bytes.\r\n"
        "File log:\r\nHTTP/1.0 200 OK\r\nContent-Type: text/html\r\r\n\r\n"
        "Start of data:  41\r\nFile length: 50\r\nData length:  6\r\n";
    const std::string rule(74, '#');
    const std::string banner =
        "\r\n" + rule +
        "\r\n"
        "# Pageglean. Downloading webpage sources into a file.                    #\r\n"
        "# Pageglean tool Version 1.32 - 2006 Okt. 31                             #\r\n"
        "# See also http://pageglean.example/                                     #\r\n"
        "# Usage: pageglean.exe [-head] URL [filename]                            #\r\n" +
        rule + "\r\n\r\n";
    const std::string notes =
        "\r\nNotes:\r\nContact: maintainer@pageglean.example\r\n"
        "In the case of an error send me this output.\r\n\r\n"
        "Please note, that I cannot answer all questions, but try to fix problems\r\n"
        "as soons as possible.\r\n";
    EXPECT_EQ(outcome.out, banner + from_command_log + notes);
    EXPECT_EQ(server.requests(), std::vector<std::string>{k_request + "\r\n"});
    EXPECT_EQ(dir.read("page.html"), "Hello!");
    EXPECT_EQ(dir.read("pageglean.dummy"), response);
}

TEST_F(Tls, RedirectsReachTlsAndRelativeOnesStayOnIt) {
    const ScriptServer plain("127.0.0.51",
                             {Reply{{harness::http_response(
                                 "", "Location: https://127.0.0.51:443/dir/a\r\n", "301 Moved")}}});
    const ScriptServer secure(
        "127.0.0.51",
        {Reply{{harness::http_response("", "Location: b\r\n", "302 Found")}},
         Reply{{harness::http_response("", "Location: //127.0.0.51/c\r\n", "302 Found")}},
         Reply{{harness::http_response("over tls")}}},
        right);
    const auto outcome = run({"-q", "127.0.0.51/start", "out.html"});
    EXPECT_EQ(outcome.exit_code, 0) << outcome.out;
    EXPECT_EQ(outcome.out,
              " 1. redirection, new start with: https://127.0.0.51:443/dir/a\r\n"
              " 2. redirection, new start with: b\r\n"
              " 3. redirection, new start with: //127.0.0.51/c\r\n");
    std::vector<std::string> lines;
    for (const auto& request : secure.requests()) lines.push_back(request.substr(0, 20));
    EXPECT_EQ(lines, (std::vector<std::string>{"GET /dir/a HTTP/1.0\r", "GET /dir/b HTTP/1.0\r",
                                               "GET /c HTTP/1.0\r\nHos"}));
    EXPECT_EQ(dir.read("out.html"), "over tls");
}

TEST_F(Tls, CertificatesForAnotherNameOrFromNobodyTrustedAreRefused) {
    {
        const ScriptServer server("127.0.0.51", {Reply{{"never"}}}, other_name);
        const auto outcome = run({"-q", "https://127.0.0.51/"});
        EXPECT_EQ(outcome.out,
                  "Socket error. Connection to internet has a problem.\r\n"
                  "Error: IP address mismatch Calling: SSL_connect()\r\n");
        EXPECT_EQ(outcome.exit_code, 1);
        EXPECT_TRUE(server.requests().empty());
    }
    const ScriptServer server("127.0.0.51", {Reply{{"never"}}}, untrusted);
    const auto outcome = run({"-q", "https://127.0.0.51/"});
    EXPECT_EQ(outcome.out,
              "Socket error. Connection to internet has a problem.\r\n"
              "Error: self-signed certificate Calling: SSL_connect()\r\n");
    EXPECT_EQ(outcome.exit_code, 1);
}

TEST_F(Tls, AResetIsAReceiveProblemAndACloseWithoutNotifyIsTheEnd) {
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    const ScriptServer server("127.0.0.51",
                              {Reply{{head + "part of", " the body"}, 200ms, Close::reset},
                               Reply{{head + "whole body"}, 0us, Close::abrupt}},
                              right);
    auto outcome = run({"-q", "https://127.0.0.51/", "out.html"});
    EXPECT_EQ(outcome.out,
              "Receive problem.\r\nError: Connection reset by peer Calling: SSL_read()\r\n");
    EXPECT_EQ(outcome.exit_code, 1);
    outcome = run({"-q", "HTTPS://127.0.0.51/", "out.html"});  // the scheme in any case
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(dir.read("out.html"), "whole body");
}

}  // namespace
