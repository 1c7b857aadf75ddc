#include "support/wait.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

namespace support {

namespace {

constexpr std::int64_t k_step_ms = 50;  // a key is looked for once per step

volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void note_stop_signal(int) { g_stop_signal = 1; }

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

// SIGHUP and SIGTERM are held back except inside ppoll, so one that arrives between two
// steps is not lost; their handler only notes them.
class StopSignals {
  public:
    StopSignals() {
        g_stop_signal = 0;
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGHUP);
        sigaddset(&stops, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &stops, &m_open_mask);
        sigdelset(&m_open_mask, SIGHUP);
        sigdelset(&m_open_mask, SIGTERM);
        struct sigaction action {};
        action.sa_handler = note_stop_signal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGHUP, &action, &m_saved_hup);
        ::sigaction(SIGTERM, &action, &m_saved_term);
    }
    ~StopSignals() {
        ::sigaction(SIGHUP, &m_saved_hup, nullptr);
        ::sigaction(SIGTERM, &m_saved_term, nullptr);
        ::sigprocmask(SIG_SETMASK, &m_open_mask, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    const sigset_t& open_mask() const { return m_open_mask; }

  private:
    sigset_t m_open_mask{};
    struct sigaction m_saved_hup {};
    struct sigaction m_saved_term {};
};

std::int64_t now_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

// Sleeps up to ms (forever when negative), watching input_fd for a key when it is not -1.
// True when the wait must end: a key was taken, input hung up, or a stop signal came.
bool wait_step(int input_fd, std::int64_t ms, const StopSignals& signals) {
    pollfd input{input_fd, POLLIN, 0};
    timespec timeout{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000};
    const int ready =
        ::ppoll(&input, input_fd < 0 ? 0 : 1, ms < 0 ? nullptr : &timeout, &signals.open_mask());
    if (g_stop_signal != 0) return true;
    if (ready <= 0) return false;
    if ((input.revents & POLLIN) != 0) {
        char key[64];  // a function key arrives as several bytes: take them together
        (void)!::read(input_fd, key, sizeof key);
    }
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

void timed_wait(int input_fd, std::int64_t ms) {
    StopSignals signals;
    const bool terminal = reads_keys(input_fd);
    RawTerminal raw(terminal ? input_fd : -1);
    const std::int64_t deadline = now_ms() + ms;
    for (;;) {
        const std::int64_t left = deadline - now_ms();
        if (left <= 0) return;
        if (left <= k_step_ms) {
            // the last step is slept without looking
            while (deadline - now_ms() > 0 && !wait_step(-1, deadline - now_ms(), signals)) {
            }
            return;
        }
        if (wait_step(terminal ? input_fd : -1, k_step_ms, signals)) return;
    }
}

void key_wait(int input_fd) {
    if (!reads_keys(input_fd)) return;
    StopSignals signals;
    RawTerminal raw(input_fd);
    while (!wait_step(input_fd, -1, signals)) {
    }
}

}  // namespace support
