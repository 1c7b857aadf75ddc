// The time-outs that the environment asks for.

#include "http/timeouts.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

namespace http {
namespace {

// 0 and a number too large to count are never; text that is no whole number is none.
TEST(Timeouts, WholeSecondsNeverAndTextThatIsNone) {
    const std::tuple<const char*, std::int64_t, std::int64_t> taken[] = {
        {nullptr, 30'000, 120'000},
        {"", 30'000, 120'000},
        {"1", 1'000, 1'000},
        {"045", 30'000, 45'000},
        {"0", -1, -1},
        {"000", -1, -1},
        {"99999999999", 30'000, 99'999'999'999'000},
        {"1000000000000001", -1, -1},
        {"1000000000000000", 30'000, 1'000'000'000'000'000'000},
        {"18446744073709551621", -1, -1},  // 2^64 + 5: a count that wraps takes it for 5
    };
    for (const auto& [text, connect_ms, idle_ms] : taken) {
        const auto timeouts = timeouts_from(text).value_or(Timeouts{0, 0});
        EXPECT_EQ(std::pair(timeouts.connect_ms, timeouts.idle_ms), std::pair(connect_ms, idle_ms))
            << text;
    }
    for (const char* text : {" 2", "2 ", "2.5", "-1", "+2", "1e3"})
        EXPECT_FALSE(timeouts_from(text));
    EXPECT_EQ(connect_phase_ms({1'000, 2'000}), 3'000);
    EXPECT_EQ(connect_phase_ms({-1, -1}), -1);
}

}  // namespace
}  // namespace http
