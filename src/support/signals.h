#pragma once

// Signals that end a run, noted instead of acted on while a step must finish first: a wait
// puts the terminal back, a receive writes what has arrived. The caller then ends the run
// as the signal would have.

#include <csignal>
#include <cstdint>
#include <initializer_list>

namespace support {

// While it lives, each of its signals only notes itself and interrupts the call it meets
// (no restart). One at a time per process.
class SignalNote {
  public:
    explicit SignalNote(std::initializer_list<int> signals);
    ~SignalNote();
    SignalNote(const SignalNote&) = delete;
    SignalNote& operator=(const SignalNote&) = delete;

    // The first signal noted; 0 when none came.
    int noted() const;

    // Puts the old handlers back now (the destructor does it otherwise), then gives the
    // first signal noted, 0 when none came: each signal meets either the note read here or
    // its old handler, so none is lost between the two.
    int restore();

    // Waits until fd is ready for `events` (fd < 0: for nothing), ms have passed (forever
    // when negative) or a signal is noted. A signal that came before the call ends it at
    // once. 1 when ready, 0 when the time is up or a signal was noted, -1 with errno set.
    int wait(int fd, short events, std::int64_t ms) const;

  private:
    struct Saved {
        int signal;
        struct sigaction action;
    };
    Saved m_saved[4]{};
    int m_count = 0;
    bool m_restored = false;
    sigset_t m_set{};
};

// Ends the process by the signal's default action, as if it had never been caught.
[[noreturn]] void end_as_signal(int signal);

}  // namespace support
