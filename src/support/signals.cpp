#include "support/signals.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace support {

namespace {

volatile std::sig_atomic_t g_noted = 0;

extern "C" void note_signal(int signal) {
    if (g_noted == 0) g_noted = signal;
}

}  // namespace

SignalNote::SignalNote(std::initializer_list<int> signals) {
    g_noted = 0;
    sigemptyset(&m_set);
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking call returns EINTR
    for (const int signal : signals) {
        if (m_count == static_cast<int>(std::size(m_saved))) std::abort();
        sigaddset(&m_set, signal);
        m_saved[m_count].signal = signal;
        ::sigaction(signal, &action, &m_saved[m_count].action);
        ++m_count;
    }
}

SignalNote::~SignalNote() { (void)restore(); }

int SignalNote::restore() {
    if (!m_restored) {
        for (int i = m_count - 1; i >= 0; --i) {
            ::sigaction(m_saved[i].signal, &m_saved[i].action, nullptr);
        }
        m_restored = true;
    }
    // read only now: a signal that came before its old handler was back is in the note
    return g_noted;
}

int SignalNote::noted() const { return g_noted; }

int SignalNote::wait(int fd, short events, std::int64_t ms) const {
    // held back between the look at the note and ppoll, which lets them in atomically, so
    // none can slip in unseen and leave ppoll sleeping
    sigset_t open_mask;
    ::sigprocmask(SIG_BLOCK, &m_set, &open_mask);
    int result = 0;
    if (g_noted == 0) {
        pollfd watched{fd, events, 0};
        const timespec timeout{static_cast<time_t>(ms / 1000),
                               static_cast<long>(ms % 1000) * 1'000'000};
        result = ::ppoll(&watched, fd < 0 ? 0 : 1, ms < 0 ? nullptr : &timeout, &open_mask);
        if (result < 0 && errno == EINTR) result = 0;
    }
    const int err = errno;
    ::sigprocmask(SIG_SETMASK, &open_mask, nullptr);
    errno = err;
    return result > 0 ? 1 : result;
}

void end_as_signal(int signal) {
    ::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);  // a signal whose default action is to be ignored
}

}  // namespace support
