#include "support/wait.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>

#include "support/signals.h"

namespace support {

namespace {

constexpr std::int64_t k_step_ms = 50;  // a key is looked for once per step

// A hang-up or termination ends a wait like a key; an interrupt or quit ends it too, and
// the caller then ends the run by that signal. The terminal is put back first in each case.
constexpr std::initializer_list<int> k_wait_signals = {SIGHUP, SIGTERM, SIGINT, SIGQUIT};

// Non-canonical input without echo while the wait lasts, so a single key counts and is
// not shown; the terminal is put back as it was. TCSANOW keeps keys typed earlier.
class RawTerminal {
  public:
    explicit RawTerminal(int fd) : m_fd(fd) {
        if (::tcgetattr(fd, &m_saved) != 0) return;
        termios raw = m_saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        m_active = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    ~RawTerminal() {
        if (m_active) ::tcsetattr(m_fd, TCSANOW, &m_saved);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

  private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

// Sleeps up to ms (ms >= 0, or forever when negative), watching input_fd for a key when it
// is not -1. True when the wait must end: a key was taken, input hung up, a signal was
// noted, or the poll itself failed (looking again would only fail again).
bool wait_step(int input_fd, std::int64_t ms, const SignalNote& signals) {
    const int ready = signals.wait(input_fd, POLLIN, ms);
    if (signals.noted() != 0 || ready < 0) return true;
    if (ready == 0) return false;
    char key[64];  // a function key arrives as several bytes: take them together
    (void)!::read(input_fd, key, sizeof key);
    return true;
}

// Whether keys can be read from input_fd: a terminal, and not one that controls this process
// from the background, where changing its mode or reading it would stop the process.
bool reads_keys(int input_fd) {
    if (::isatty(input_fd) != 1) return false;
    const pid_t foreground = ::tcgetpgrp(input_fd);
    return foreground < 0 || foreground == ::getpgrp();
}

}  // namespace

std::int64_t now_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

int timed_wait(int input_fd, std::int64_t ms) {
    const SignalNote signals(k_wait_signals);
    const bool terminal = reads_keys(input_fd);
    const RawTerminal raw(terminal ? input_fd : -1);
    const std::int64_t deadline = now_ms() + ms;
    for (;;) {
        // one reading of the clock per step, so the time passed on is never negative
        const std::int64_t left = deadline - now_ms();
        if (left <= 0) break;
        // the last step is slept without looking
        const bool looks = terminal && left > k_step_ms;
        if (wait_step(looks ? input_fd : -1, std::min(left, k_step_ms), signals)) break;
    }
    return signals.noted();
}

int key_wait(int input_fd) {
    if (!reads_keys(input_fd)) return 0;
    const SignalNote signals(k_wait_signals);
    const RawTerminal raw(input_fd);
    while (!wait_step(input_fd, -1, signals)) {
    }
    return signals.noted();
}

}  // namespace support
