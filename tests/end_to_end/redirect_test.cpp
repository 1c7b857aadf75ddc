// The real binary following "Location: " lines from hop to hop.

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "harness/network.h"
#include "harness/process.h"
#include "harness/script_server.h"
#include "harness/temp_dir.h"
#include "run/report.h"

namespace {

using harness::Input;
using harness::Reply;
using harness::ScriptServer;

Reply moved(const std::string& location, const std::string& status = "302 Found") {
    return Reply{{harness::http_response("moved", "Location: " + location + "\r\n", status)}};
}

Reply page(const std::string& body) { return Reply{{harness::http_response(body)}}; }

std::string request_line(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

class Redirects : public testing::Test {
  protected:
    void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }

    harness::Outcome run(const std::vector<std::string>& arguments) {
        return harness::run_pageglean(arguments, dir.path(), Input::key_before);
    }

    harness::TempDir dir;
};

TEST_F(Redirects, RelativeAndAbsoluteValuesResolveAgainstTheFirstHop) {
    const std::tuple<std::string, std::string> cases[] = {
        {"next.html", "GET /dir/next.html HTTP/1.0"},
        {"/top/x.html", "GET /top/x.html HTTP/1.0"},
        {"sub/y.html", "GET /dir/sub/y.html HTTP/1.0"},
        {"../z.html", "GET /dir/../z.html HTTP/1.0"},
    };
    for (const auto& [location, expected] : cases) {
        const ScriptServer server("127.0.0.20", {moved(location), page("there")});
        const auto outcome = run({"-q", "scheme://127.0.0.20/dir/page.html"});
        EXPECT_EQ(outcome.out, " 1. redirection, new start with: " + location + "\r\n");
        EXPECT_EQ(outcome.exit_code, 0);
        ASSERT_EQ(server.requests().size(), 2u) << location;
        EXPECT_EQ(request_line(server.requests()[1]), expected);
        EXPECT_EQ(dir.read("pageglean.out"), "there");
        EXPECT_EQ(dir.read("pageglean.redirected"), location + "\r\n");
    }

    const ScriptServer first("127.0.0.20", {moved("scheme://127.0.0.21:80/w")});
    const ScriptServer second("127.0.0.21", {page("w page")});
    const auto outcome = run({"-q", "scheme://127.0.0.20/dir/page.html"});
    EXPECT_EQ(outcome.out, " 1. redirection, new start with: scheme://127.0.0.21:80/w\r\n");
    ASSERT_EQ(second.requests().size(), 1u);
    EXPECT_TRUE(second.requests()[0].starts_with("GET /w HTTP/1.0\r\nHost: 127.0.0.21\r\n"));
    EXPECT_EQ(dir.read("pageglean.redirected"), "scheme://127.0.0.21/w\r\n");
}

TEST_F(Redirects, OnlyALeadingSchemeMakesAValueAbsoluteAndOnlyItsHostLosesItsPort) {
    // a "://" in a query, "//" in a path and ports that are not the host's ":80" all stay
    // on the first host
    const ScriptServer first(
        "127.0.0.22", {moved("/go?to=scheme://127.0.0.23/v"), page("1"), moved("/x//y"), page("2"),
                       moved("h:8080"), page("3"), moved("/q?port=:80x"), page("4"), page("5")});
    const ScriptServer other("127.0.0.23", {page("never")});
    for (const char* start :
         {"127.0.0.22/d/", "127.0.0.22/d/", "127.0.0.22/d/", "127.0.0.22/d/", "127.0.0.22/a//b"}) {
        EXPECT_EQ(run({"-q", start}).exit_code, 0) << start;
    }
    std::vector<std::string> lines;
    for (const auto& request : first.requests()) lines.push_back(request_line(request));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "GET /d/ HTTP/1.0", "GET /go?to=scheme://127.0.0.23/v HTTP/1.0",
                         "GET /d/ HTTP/1.0", "GET /x//y HTTP/1.0", "GET /d/ HTTP/1.0",
                         "GET /d/h:8080 HTTP/1.0", "GET /d/ HTTP/1.0", "GET /q?port=:80x HTTP/1.0",
                         "GET /a//b HTTP/1.0"}));
    EXPECT_TRUE(other.requests().empty());

    // ":800" is another port: the host keeps it and is looked up as a name
    const ScriptServer third("127.0.0.34", {moved("scheme://127.0.0.34:800/w")});
    const auto outcome = run({"-q", "127.0.0.34/"});
    EXPECT_EQ(outcome.out,
              " 1. redirection, new start with: scheme://127.0.0.34:800/w\r\n"
              "No connection to host available.\r\nError: ResolveHost: '127.0.0.34:800'.\r\n");
    EXPECT_EQ(outcome.exit_code, 1);
}

TEST_F(Redirects, RelativeValueResolvesAgainstTheHopThatReceivedIt) {
    const ScriptServer first("127.0.0.24", {moved("scheme://127.0.0.25/d/one")});
    const ScriptServer second("127.0.0.25",
                              {moved("two"), moved("//127.0.0.25/p"), page("p page")});
    const auto outcome = run({"-q", "127.0.0.24/start", "out.html"});
    EXPECT_EQ(outcome.exit_code, 0) << outcome.out;
    const auto requests = second.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(request_line(requests[1]), "GET /d/two HTTP/1.0");
    EXPECT_EQ(request_line(requests[2]), "GET /p HTTP/1.0");
    EXPECT_EQ(first.requests().size(), 1u);
    EXPECT_EQ(dir.read("out.html"), "p page");
}

TEST_F(Redirects, BlanksInTheValueStayOutOfTheOutputName) {
    const ScriptServer server("127.0.0.26", {moved(" my page.html  x"), page("spaced")});
    const auto outcome = run({"-q", "127.0.0.26/dir/", "out.html"});
    EXPECT_EQ(outcome.out, " 1. redirection, new start with:  my page.html  x\r\n");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(request_line(server.requests()[1]), "GET /dir/my%20page.html%20%20x HTTP/1.0");
    EXPECT_EQ(dir.read("out.html"), "spaced");
    EXPECT_EQ(dir.read("pageglean.redirected"), "my%20page.html%20%20x\r\n");
}

TEST_F(Redirects, FiveRedirectsAreFollowedAndASixthIsRefused) {
    const ScriptServer chain(
        "127.0.0.27", {moved("1"), moved("2"), moved("3"), moved("4"), moved("5"), page("end")});
    auto outcome = run({"-q", "127.0.0.27/0"});
    EXPECT_EQ(outcome.exit_code, 0);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_NE(outcome.out.find(" " + std::to_string(i) +
                                   ". redirection, new start with: " + std::to_string(i)),
                  std::string::npos);
    }
    EXPECT_EQ(dir.read("pageglean.out"), "end");

    std::vector<Reply> loop(7, moved("/self"));
    const ScriptServer self("127.0.0.28", loop);
    dir.write("pageglean.out", "before");
    outcome = run({"-q", "127.0.0.28/self"});
    std::string expected;
    for (int i = 1; i <= 6; ++i)
        expected += " " + std::to_string(i) + ". redirection, new start with: /self\r\n";
    EXPECT_EQ(outcome.out, expected + "Too much (>5) redirections!\r\n\r\n");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_LT(outcome.seconds, 5.0);
    EXPECT_EQ(self.requests().size(), 6u);
    EXPECT_EQ(dir.read("pageglean.out"), "");  // every hop made it afresh before its scan
}

TEST_F(Redirects, LoudModeRepeatsBannerAndCommandLogPerHop) {
    const ScriptServer server("127.0.0.29", {moved("b.html"), moved("c.html"), page("c")});
    const auto outcome = run({"127.0.0.29/a.html", "out.html"});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(count(outcome.out, "# Usage: pageglean.exe"), 3u);
    EXPECT_EQ(count(outcome.out, "Command log: 127.0.0.29/a.html out.html\r\n"), 3u);
    EXPECT_NE(outcome.out.find("Command: 127.0.0.29/b.html out.html\r\n"), std::string::npos);
    EXPECT_NE(outcome.out.find("Command: 127.0.0.29/c.html out.html\r\n"), std::string::npos);
    // the notice follows the echo, whose last byte ended the Location line
    EXPECT_NE(
        outcome.out.find("Location: b.html\r 1. redirection, new start with: b.html\r\n\r\n####"),
        std::string::npos);
}

TEST_F(Redirects, FirstResponseIsPreservedAndALaterPlainRunLeavesIt) {
    const Reply first = moved("next", "301 Moved Permanently");
    const ScriptServer server("127.0.0.30", {first, moved("again"), page("n"), page("plain")});
    EXPECT_EQ(run({"-q", "127.0.0.30/"}).exit_code, 0);
    EXPECT_EQ(dir.read("pageglean.original"), first.chunks[0]);
    EXPECT_EQ(run({"-q", "127.0.0.30/"}).exit_code, 0);
    EXPECT_EQ(dir.read("pageglean.original"), first.chunks[0]);
    EXPECT_EQ(dir.read("pageglean.out"), "plain");
}

TEST_F(Redirects, AnyStatusWithLocationIsFollowedButOnlyTheExactName) {
    const ScriptServer server("127.0.0.31",
                              {moved("/next", "200 OK"), page("followed"),
                               Reply{{"HTTP/1.0 302 Found\r\nlocation: /next\r\n\r\nstays"}}});
    EXPECT_EQ(run({"-q", "127.0.0.31/"}).out, " 1. redirection, new start with: /next\r\n");
    EXPECT_EQ(dir.read("pageglean.out"), "followed");
    EXPECT_EQ(run({"-q", "127.0.0.31/"}).out, "");
    EXPECT_EQ(dir.read("pageglean.out"), "stays");
}

TEST_F(Redirects, EmptyValueEndsAtTheUrlCheck) {
    const ScriptServer server("127.0.0.32", {moved("")});
    const auto outcome = run({"-q", "127.0.0.32/"});
    EXPECT_EQ(outcome.out, " 1. redirection, new start with: \r\nURL is empty. See usage!\r\n\r\n");
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_LT(outcome.seconds, 5.0);
}

TEST_F(Redirects, AWorkFileAsTheOutputIsRefusedBeforeAnyConnection) {
    const ScriptServer server("127.0.0.33", {page("body")});
    for (const std::string& name : std::vector<std::string>{
             "pageglean.dummys", "pageglean.dummy", "pageglean.original", "pageglean.redirected",
             "pageglean.modified", "./pageglean.dummy", dir.file("pageglean.modified")}) {
        const auto outcome = run({"-q", "127.0.0.33/", name});
        EXPECT_EQ(outcome.out, "File problem.\r\nError: 22 Writing: '" + name + "'.\r\n");
        EXPECT_EQ(outcome.exit_code, 1);
        EXPECT_FALSE(dir.exists("pageglean.dummys")) << name;
    }
    // loud: right after the command log, before the lookup
    const auto loud = run({"127.0.0.33/", "pageglean.dummy"});
    EXPECT_TRUE(
        loud.out.ends_with("File: pageglean.dummy\r\n\r\nFile problem.\r\n"
                           "Error: 22 Writing: 'pageglean.dummy'.\r\n"))
        << loud.out;
    EXPECT_TRUE(server.requests().empty());
    // the same names elsewhere are the user's own files
    std::filesystem::create_directory(dir.file("sub"));
    EXPECT_EQ(run({"-q", "127.0.0.33/", "sub/pageglean.dummy"}).exit_code, 0);
    EXPECT_EQ(dir.read("sub/pageglean.dummy"), "body");
}

}  // namespace
