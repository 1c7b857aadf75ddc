#include "run/report.h"

#include <gtest/gtest.h>

#include <tuple>

namespace run {
namespace {

using support::Problem;

// The kinds of failure no whole run in the tests meets: the heading, and the number or the
// words in its place.
TEST(Report, FailureLinesForEachKind) {
    const std::tuple<support::Failure, const char*, const char*> cases[] = {
        {{Problem::send, 0, "Broken pipe", "SSL_write()"},
         "Send problem.",
         "Error: Broken pipe Calling: SSL_write()"},
        {{Problem::receive, -1, {}, "recv()"}, "Receive problem.", "Error:-1 Calling: recv()"},
    };
    for (const auto& [failure, first, second] : cases) {
        EXPECT_EQ(failure_lines(failure), (std::vector<std::string>{first, second})) << second;
    }
}

TEST(Report, WaitHintsSayWhatEndsTheWait) {
    EXPECT_EQ(wait_hint(0, true), "pageglean: press a key to end.\n");
    EXPECT_EQ(wait_hint(60'000, true), "pageglean: waiting 60 seconds; a key ends the wait.\n");
    EXPECT_EQ(wait_hint(6'000, false), "pageglean: waiting 6 seconds.\n");
}

}  // namespace
}  // namespace run
