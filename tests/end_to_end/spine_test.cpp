// The real binary: argument handling, target checks and the waits that end a failed run.

#include <gtest/gtest.h>

#include <filesystem>

#include "harness/network.h"
#include "harness/process.h"
#include "harness/temp_dir.h"
#include "run/report.h"

namespace {

using harness::Input;

std::string banner() {
    std::string text;
    for (const auto& line : run::banner_lines(run::k_version)) text += line + "\r\n";
    return text;
}

TEST(Spine, NoArgumentsPrintTheBannerAndEndAtOnceWithCodeZero) {
    harness::TempDir dir;
    const auto outcome = harness::run_pageglean({}, dir.path(), Input::terminal);
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.out, banner() + "URL is empty. See usage!\r\n\r\n");
    EXPECT_LT(outcome.seconds, 2.0);  // no wait, even on a terminal without a key
}

TEST(Spine, EmptyHostPrintsTheCommandLogAndEndsAtOnceWithoutATerminal) {
    harness::TempDir dir;
    const auto outcome =
        harness::run_pageglean({"-HEAD", "scheme:///x", "my", "page.html"}, dir.path());
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.out, banner() +
                               "Command log: -HEAD scheme:///x my page.html\r\n"
                               "Command: scheme:///x my page.html\r\n"
                               "URL: /x\r\n"
                               "Host: \r\n"
                               "Path: x\r\n"
                               "File: my page.html\r\n"
                               "\r\n"
                               "No URL given.\r\n"
                               "Usage: URL [filename]\r\n");
    EXPECT_FALSE(dir.exists("my page.html"));
}

TEST(Spine, HelpAndVersionAnswerAtOnceWithoutFilesOrConnections) {
    harness::TempDir dir;
    for (const char* ask : {"--help", "-h"}) {
        const auto outcome = harness::run_pageglean({ask}, dir.path());
        EXPECT_EQ(outcome.exit_code, 0) << ask;
        EXPECT_TRUE(
            outcome.out.starts_with("Usage: pageglean [-head |-get ][-q ]URL [output "
                                    "file]\n"))
            << ask;
        EXPECT_NE(outcome.out.find("man pageglean"), std::string::npos);
    }
    for (const char* ask : {"--version", "-V"}) {
        const auto outcome = harness::run_pageglean({ask}, dir.path());
        EXPECT_EQ(outcome.exit_code, 0) << ask;
        EXPECT_EQ(outcome.out, "pageglean " PAGEGLEAN_VERSION "\n") << ask;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    // only as the whole argument text
    EXPECT_EQ(harness::run_pageglean({"-q", "--help"}, dir.path(), Input::key_before).exit_code, 1);
}

TEST(Spine, AWaitOnATerminalIsExplainedOnStandardErrorOnly) {
    REQUIRE_PRIVATE_NETWORK();  // nothing listens on 127.0.0.1:80 there
    harness::TempDir dir;
    harness::Launch launch;
    launch.input = Input::key_later;
    launch.error_to_terminal = true;
    auto outcome = harness::run_pageglean({"-q", "scheme:///x"}, dir.path(), launch);
    EXPECT_EQ(outcome.out, "No URL given.\r\nUsage: URL [filename]\r\n");
    EXPECT_NE(outcome.terminal.find("pageglean: press a key to end."), std::string::npos);

    outcome = harness::run_pageglean({"-q", "127.0.0.1/"}, dir.path(), launch);
    EXPECT_EQ(outcome.out,
              "Socket error. Connection to internet has a problem.\r\nError: 111 Calling: "
              "connect()\r\n");
    EXPECT_NE(outcome.terminal.find("pageglean: waiting 6 seconds; a key ends the wait."),
              std::string::npos);

    // without a terminal on standard error, nothing is added anywhere
    outcome = harness::run_pageglean({"-q", "scheme:///x"}, dir.path(), Input::key_before);
    EXPECT_EQ(outcome.out, "No URL given.\r\nUsage: URL [filename]\r\n");
}

TEST(Spine, EmptyOutputNameMeansTheDefaultName) {
    harness::TempDir dir;
    const auto outcome = harness::run_pageglean({"-q", "scheme:///x", "  "}, dir.path());
    EXPECT_EQ(outcome.out, "No URL given.\r\nUsage: URL [filename]\r\n");
    const auto loud = harness::run_pageglean({"scheme:///x", " "}, dir.path());
    EXPECT_NE(loud.out.find("\r\nFile: pageglean.out\r\n"), std::string::npos);
}

TEST(Spine, KeyWaitOnATerminalEndsOnAKeyTypedBeforeOrDuringIt) {
    harness::TempDir dir;
    auto outcome = harness::run_pageglean({"-q", "scheme:///x"}, dir.path(), Input::key_before);
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_LT(outcome.seconds, 1.0);

    outcome = harness::run_pageglean({"-q", "scheme:///x"}, dir.path(), Input::key_later);
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_GE(outcome.seconds, 0.29);
    EXPECT_LT(outcome.seconds, 1.5);
}

TEST(Spine, TimedWaitOfAFailedRunEndsSoonAfterAKey) {
    REQUIRE_PRIVATE_NETWORK();
    harness::TempDir dir;
    // a 60 s wait in loud mode; the key comes after 0.3 s
    const auto outcome =
        harness::run_pageglean({"scheme://127.0.0.3/"}, dir.path(), Input::key_later);
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_GE(outcome.seconds, 0.29);
    EXPECT_LT(outcome.seconds, 1.5);
    EXPECT_TRUE(outcome.out.ends_with("Error: 111 Calling: connect()\r\n"));
}

}  // namespace
