#include "http/timeouts.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "support/wait.h"

namespace http {

namespace {

// a figure this large is no limit anyone means, and its milliseconds, added to the clock,
// still fit in 64 bits
constexpr std::int64_t k_countable_seconds = 1'000'000'000'000'000;

}  // namespace

std::optional<Timeouts> timeouts_from(const char* seconds) {
    Timeouts timeouts;
    if (seconds == nullptr || *seconds == '\0') return timeouts;
    std::int64_t value = 0;
    for (const char* at = seconds; *at != '\0'; ++at) {
        if (*at < '0' || *at > '9') return std::nullopt;
        // past the countable, every further digit keeps it there
        value = std::min(value * 10 + (*at - '0'), k_countable_seconds + 1);
    }
    if (value == 0 || value > k_countable_seconds) return Timeouts{-1, -1};
    timeouts.idle_ms = value * 1000;
    timeouts.connect_ms = std::min(timeouts.connect_ms, timeouts.idle_ms);
    return timeouts;
}

std::int64_t connect_phase_ms(const Timeouts& timeouts) {
    if (timeouts.connect_ms < 0 || timeouts.idle_ms < 0) return -1;
    return timeouts.connect_ms + timeouts.idle_ms;
}

std::int64_t deadline_in(std::int64_t ms) { return ms < 0 ? -1 : support::now_ms() + ms; }

std::int64_t ms_left(std::int64_t deadline) {
    return deadline < 0 ? -1 : std::max<std::int64_t>(0, deadline - support::now_ms());
}

int wait_ready(int fd, short events, std::int64_t ms) {
    const std::int64_t deadline = deadline_in(ms);
    for (;;) {
        const std::int64_t left = ms_left(deadline);
        pollfd watched{fd, events, 0};
        const int result = ::poll(
            &watched, 1, left < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
        if (result < 0 && errno == EINTR) continue;
        return result > 0 ? 1 : result;
    }
}

}  // namespace http
