#pragma once

// How long the steps of a connection may take: the settings, the deadlines on a clock that
// only moves forward, and the wait on a socket of the connect, tunnel, handshake and send.

#include <cstdint>
#include <optional>

namespace http {

// How long a step may go without progress before it gives up; -1: never.
struct Timeouts {
    std::int64_t connect_ms = 30'000;  // per address: long enough for a slow route
    std::int64_t idle_ms = 120'000;    // handshake, send and receive: no byte moved for so long
};

// The time-outs that PAGEGLEAN_TIMEOUT's text asks for: the defaults when it is unset
// (nullptr) or empty; whole seconds (digits only, leading zeros allowed) for the idle
// figure, and for the connect figure when smaller; 0, or a number too large to count
// (past 10^15), for never. None for any other text (" 2", "2.5", "-1", "+2"): the caller
// says so and keeps the defaults.
std::optional<Timeouts> timeouts_from(const char* seconds);

// How long the connect phase of one address (TCP connect, a proxy's CONNECT answer, the TLS
// handshake) may last in all, however slowly its bytes drip: the two figures together; -1
// when either is never.
std::int64_t connect_phase_ms(const Timeouts& timeouts);

// The moment ms milliseconds from now on a clock that only moves forward; -1 (never) when
// ms is -1.
std::int64_t deadline_in(std::int64_t ms);

// The milliseconds left until a deadline from deadline_in, 0 once it has passed; -1 for
// never.
std::int64_t ms_left(std::int64_t deadline);

// Waits until fd is ready for `events`, up to ms milliseconds (-1: no limit), through
// interruptions. 1 when ready, 0 when the time is up, -1 with errno set.
int wait_ready(int fd, short events, std::int64_t ms);

}  // namespace http
