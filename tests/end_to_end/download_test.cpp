// The real binary against scripted servers on loopback port 80, one download per test.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "harness/network.h"
#include "harness/process.h"
#include "harness/script_server.h"
#include "harness/temp_dir.h"
#include "run/report.h"

namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;
using harness::Close;
using harness::Input;
using harness::Reply;
using harness::ScriptServer;

std::string lines(const std::vector<std::string>& texts) {
    std::string joined;
    for (const auto& text : texts) joined += text + "\r\n";
    return joined;
}

class Download : public testing::Test {
  protected:
    void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }

    harness::Outcome run(const std::vector<std::string>& arguments, Input input = Input::none) {
        return harness::run_pageglean(arguments, dir.path(), input);
    }

    // The console bytes after the last "File log:" line.
    static std::string after_file_log(const std::string& out) {
        const auto at = out.rfind("File log:\r\n");
        return at == std::string::npos ? "<no file log>" : out.substr(at + 11);
    }

    harness::TempDir dir;
};

TEST_F(Download, LoudTranscriptOfAPageByteForByte) {
    const std::string response = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nHello!";
    const ScriptServer server("127.0.0.2", {Reply{{response}}});
    const auto outcome = run({"scheme://127.0.0.2/index.html", "page.html"});

    const std::string request =
        "GET /index.html HTTP/1.0\r\nHost: 127.0.0.2\r\nConnection: close\r\nUser-Agent: Pageglean "
        "1.32\r\n";
    EXPECT_EQ(outcome.out,
              lines(run::banner_lines(run::k_version)) +
                  lines({"Command log: scheme://127.0.0.2/index.html page.html",
                         "Command: scheme://127.0.0.2/index.html page.html",
                         "URL: 127.0.0.2/index.html", "Host: 127.0.0.2", "Path: index.html",
                         "File: page.html", "", "Internal Log:", "IP:  33554559", "",
                         "Contact log:", request, "Download log:", " 1. step:  50 of  50", "",
                         "Laenge Download: 8192 Bytes.", "File log:"}) +
                  "HTTP/1.0 200 OK\r\nContent-Type: text/html\r" +
                  lines({"", "", "Start of data:  41", "File length: 50", "Data length:  6"}) +
                  lines(run::closing_notes()));
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(dir.read("page.html"), "Hello!");
    EXPECT_EQ(dir.read("pageglean.dummy"), response);
    EXPECT_EQ(dir.read("pageglean.dummys"), response + std::string(8192 - 50, '\0'));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], request + "\r\n");
}

TEST_F(Download, RequestBytesForHeadAndAnEmptyPath) {
    const ScriptServer server("127.0.0.4", {Reply{{"HTTP/1.0 200 OK\r\n\r\n"}}, Reply{{"x"}}});
    EXPECT_EQ(run({"-head", "-q", "127.0.0.4/a/b.html?x=1", "/dev/null"}).exit_code, 0);
    EXPECT_EQ(run({"-get", "-q", "scheme://127.0.0.4"}).exit_code, 0);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0],
              "HEAD /a/b.html?x=1 HTTP/1.0\r\nHost: 127.0.0.4\r\nConnection: close\r\nUser-Agent: "
              "Pageglean 1.32\r\n\r\n");
    EXPECT_TRUE(requests[1].starts_with("GET / HTTP/1.0\r\nHost: 127.0.0.4\r\n"));
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));  // written through, never replaced
}

TEST_F(Download, TwoChunksLeaveTheFirstChunksTailInTheSpool) {
    const std::string first = "HTTP/1.0 200 OK\r\n\r\n" + std::string(81, 'a');  // 100 bytes
    const std::string second(50, 'b');
    const ScriptServer server("127.0.0.5", {Reply{{first, second}, 300ms}});
    const auto outcome = run({"127.0.0.5/"});
    EXPECT_NE(outcome.out.find(" 1. step:  100 of  100\r\n 2. step:  50 of  150\r\n\r\nLaenge "
                               "Download: 8292 Bytes.\r\n"),
              std::string::npos);
    const std::string spool = dir.read("pageglean.dummys");
    ASSERT_EQ(spool.size(), 8292u);
    EXPECT_EQ(spool.substr(0, 151), first + second + "\0"s);
    EXPECT_EQ(spool.substr(151, 49), first.substr(51));
    EXPECT_EQ(dir.read("pageglean.dummy"), first + second);
    EXPECT_EQ(dir.read("pageglean.out"), std::string(81, 'a') + second);
}

TEST_F(Download, ResponsesWithoutAnEndMark) {
    const ScriptServer server(
        "127.0.0.6", {Reply{{"HTTP/1.0 200 OK\nA: b\n\nbody text"}}, Reply{{}}, Reply{{"ab"}}});
    dir.write("pageglean.out", "old content");
    auto outcome = run({"127.0.0.6/"});
    EXPECT_EQ(after_file_log(outcome.out),
              "HTTP/1.0 200 OK\nA: b\n\nbody t" +
                  lines({"", "", "Start of data:  28", "File length: 31", "Data length:  0"}) +
                  lines(run::closing_notes()));
    EXPECT_EQ(dir.read("pageglean.out"), "");

    outcome = run({"127.0.0.6/"});
    EXPECT_NE(outcome.out.find("Download log:\r\n\r\nLaenge Download: 0 Bytes.\r\n"),
              std::string::npos);
    EXPECT_TRUE(after_file_log(outcome.out)
                    .starts_with("\0"s + lines({"", "", "Start of data:  1", "File length: 0",
                                                "Data length: -4"})));
    EXPECT_EQ(dir.read("pageglean.dummys"), "");
    EXPECT_EQ(outcome.exit_code, 0);

    outcome = run({"127.0.0.6/"});
    EXPECT_TRUE(after_file_log(outcome.out)
                    .starts_with("a" + lines({"", "", "Start of data:  1", "File length: 2",
                                              "Data length: -2"})));
}

TEST_F(Download, BinaryBodyPassesUnchanged) {
    std::string body;
    for (int i = 0; i < 100'000; ++i) body += static_cast<char>((i * 31) % 256);
    body += "\r\n\r\n\0tail"s;
    const ScriptServer server("127.0.0.7", {Reply{{"HTTP/1.0 200 OK\r\n\r\n" + body}}});
    const auto outcome = run({"-q", "127.0.0.7/bin", "data.bin"});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(dir.read("data.bin"), body);
}

TEST_F(Download, OutputNameThatIsALinkIsWrittenThrough) {
    const ScriptServer server("127.0.0.14", {Reply{{"HTTP/1.0 200 OK\r\n\r\nthrough the link"}}});
    const harness::TempDir elsewhere;
    elsewhere.write("target.html", "old target");
    std::filesystem::create_symlink(elsewhere.file("target.html"), dir.file("link.html"));
    EXPECT_EQ(run({"-q", "127.0.0.14/", "link.html"}).exit_code, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.html")));
    EXPECT_EQ(elsewhere.read("target.html"), "through the link");
}

TEST_F(Download, QuietModeIsSilentAndLeavesTheDateForScripts) {
    const ScriptServer server(
        "127.0.0.8",
        {
            Reply{{"HTTP/1.0 200 OK\r\nLast-Modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n\r\npage"}},
            Reply{{"HTTP/1.0 200 OK\r\n\r\nno date"}},
        });
    dir.write("pageglean.redirected", "stale\r\n");
    auto outcome = run({"-q", "127.0.0.8/p", "p.html"});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(dir.read("p.html"), "page");
    EXPECT_EQ(dir.read("pageglean.modified"), "31 Oct 2006 14:39:28 GMT\r\n");
    EXPECT_FALSE(dir.exists("pageglean.redirected"));

    outcome = run({"-q", "127.0.0.8/p", "p.html"});
    EXPECT_EQ(outcome.out, "");
    EXPECT_FALSE(dir.exists("pageglean.modified"));
}

TEST_F(Download, LoudRunLeavesSideFilesAlone) {
    const ScriptServer server("127.0.0.9",
                              {Reply{{"HTTP/1.0 200 OK\r\nLast-Modified: 1 Jan\r\n\r\n"}}});
    dir.write("pageglean.modified", "from a quiet run\r\n");
    EXPECT_EQ(run({"127.0.0.9/"}).exit_code, 0);
    EXPECT_EQ(dir.read("pageglean.modified"), "from a quiet run\r\n");
}

TEST_F(Download, ConnectionFailuresWaitAndEndWithCodeOne) {
    // nothing listens on 127.0.0.10:80
    auto outcome = run({"-q", "scheme://127.0.0.10/x"}, Input::key_before);
    EXPECT_EQ(
        outcome.out,
        "Socket error. Connection to internet has a problem.\r\nError: 111 Calling: connect()\r\n");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_LT(outcome.seconds, 2.0);

    outcome = run({"scheme://no-such-host.invalid/x"}, Input::key_before);
    EXPECT_TRUE(outcome.out.ends_with(lines({"File: pageglean.out", "", "Internal Log:", "IP:  0",
                                             "", "No connection to host available.",
                                             "Error: ResolveHost: 'no-such-host.invalid'."})));
    EXPECT_EQ(outcome.exit_code, 1);

    const ScriptServer server("127.0.0.11", {Reply{{"HTTP/1.0 200 OK\r\n\r\n"}}});
    outcome = run({"-q", "127.0.0.11:81/x"}, Input::key_before);
    EXPECT_EQ(outcome.out,
              "No connection to host available.\r\nError: ResolveHost: '127.0.0.11:81'.\r\n");
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Download, ResetMidBodyIsAReceiveProblemAndLeavesTheOutputUntouched) {
    const ScriptServer server(
        "127.0.0.12", {Reply{{"HTTP/1.0 200 OK\r\n\r\npartial body"}, 300ms, Close::reset}});
    dir.write("page.html", "previous page");
    const auto outcome = run({"127.0.0.12/", "page.html"}, Input::key_before);
    EXPECT_TRUE(outcome.out.ends_with(lines({"Download log:", " 1. step:  31 of  31",
                                             "Receive problem.", "Error: 104 Calling: recv()"})))
        << outcome.out;
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(dir.read("page.html"), "previous page");
    EXPECT_TRUE(dir.read("pageglean.dummys").starts_with("HTTP/1.0 200 OK\r\n\r\npartial body"));
}

TEST_F(Download, UnwritableOutputEndsTheRunWithAFileProblem) {
    const ScriptServer server("127.0.0.13", {Reply{{"HTTP/1.0 200 OK\r\n\r\nbody"}},
                                             Reply{{"HTTP/1.0 200 OK\r\n\r\nbody"}}});
    auto outcome = run({"-q", "127.0.0.13/", "/dev/full"}, Input::key_before);
    EXPECT_EQ(outcome.out, "File problem.\r\nError: 28 Writing: '/dev/full'.\r\n");
    EXPECT_EQ(outcome.exit_code, 1);

    outcome = run({"127.0.0.13/", "missing/out.html"}, Input::key_before);
    EXPECT_TRUE(
        outcome.out.ends_with("Laenge Download: 8192 Bytes.\r\nFile problem.\r\n"
                              "Error: 2 Writing: 'missing/out.html'.\r\n"))
        << outcome.out;
    EXPECT_EQ(outcome.exit_code, 1);
}

}  // namespace
