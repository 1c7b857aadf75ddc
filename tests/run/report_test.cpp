#include "run/report.h"

#include <gtest/gtest.h>

#include <tuple>

namespace run {
namespace {

using support::Problem;

// One entry per kind of failure: the heading, and the number or the words in its place.
TEST(Report, FailureLinesForEachKind) {
    const std::tuple<support::Failure, const char*, const char*> cases[] = {
        {{Problem::resolve, 0, "h:x"},
         "No connection to host available.",
         "Error: ResolveHost: 'h:x'."},
        {{Problem::connect, 111, {}, "connect()"},
         "Socket error. Connection to internet has a problem.",
         "Error: 111 Calling: connect()"},
        {{Problem::connect, 24, {}, "socket()"},
         "Socket error. Connection to internet has a problem.",
         "Error: 24 Calling: socket()"},
        {{Problem::send, 0, "Broken pipe", "SSL_write()"},
         "Send problem.",
         "Error: Broken pipe Calling: SSL_write()"},
        {{Problem::send, 32, {}, "send()"}, "Send problem.", "Error: 32 Calling: send()"},
        {{Problem::receive, -1, {}, "recv()"}, "Receive problem.", "Error:-1 Calling: recv()"},
        {{Problem::file, 28, "out", "pwrite"}, "File problem.", "Error: 28 Writing: 'out'."},
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
