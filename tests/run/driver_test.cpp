#include "run/driver.h"

#include <gtest/gtest.h>

#include "harness/network.h"
#include "harness/temp_dir.h"
#include "run/report.h"
#include "support/file.h"

namespace run {
namespace {

struct Captured {
    Ending ending;
    std::string out;
};

Captured run_captured(const std::vector<std::string>& arguments) {
    harness::TempDir dir;
    Captured captured;
    {
        const support::Fd out = support::open_truncated(dir.file("out"));
        captured.ending = download(arguments, support::Console{out.get(), false});
    }
    captured.out = dir.read("out");
    return captured;
}

std::string banner() {
    std::string text;
    for (const auto& line : banner_lines(k_version)) text += line + "\r\n";
    return text;
}

TEST(Driver, NoArgumentsEndAtTheUrlCheckWithCodeZeroAndNoWait) {
    const Captured captured = run_captured({});
    EXPECT_EQ(captured.out, banner() + "URL is empty. See usage!\r\n\r\n");
    EXPECT_EQ(captured.ending.code, 0);
    EXPECT_EQ(captured.ending.wait, Wait::none);
}

TEST(Driver, EmptyHostEndsWithTheKeyWaitAndCodeOne) {
    const Captured captured = run_captured({"-q", "scheme:///x", "out.html"});
    EXPECT_EQ(captured.out, "No URL given.\r\nUsage: URL [filename]\r\n");
    EXPECT_EQ(captured.ending.code, 1);
    EXPECT_EQ(captured.ending.wait, Wait::key);
}

TEST(Driver, FailedLookupWaitsSixtySecondsLoudAndSixQuiet) {
    REQUIRE_PRIVATE_NETWORK();  // the lookup must not leave the machine
    Captured captured = run_captured({"scheme://no-such-host.invalid/x"});
    EXPECT_EQ(captured.ending.code, 1);
    EXPECT_EQ(captured.ending.wait, Wait::timed);
    EXPECT_EQ(captured.ending.wait_ms, 60'000);
    EXPECT_NE(
        captured.out.find("Internal Log:\r\nIP:  0\r\n\r\nNo connection to host available.\r\n"
                          "Error: ResolveHost: 'no-such-host.invalid'.\r\n"),
        std::string::npos);

    captured = run_captured({"-q", "no-such-host.invalid"});
    EXPECT_EQ(captured.ending.wait_ms, 6'000);
    EXPECT_EQ(
        captured.out,
        "No connection to host available.\r\nError: ResolveHost: 'no-such-host.invalid'.\r\n");
}

}  // namespace
}  // namespace run
