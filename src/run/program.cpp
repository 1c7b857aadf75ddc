// The process around a run: its standard descriptors and signals, the time-outs from the
// environment, the wait after a failure, and the exit code.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <vector>

#include "run/driver.h"
#include "run/report.h"
#include "support/file.h"
#include "support/signals.h"
#include "support/wait.h"

namespace run {

namespace {

// No socket or file may become standard input, output or error: a closed one is opened
// on /dev/null, so console lines never reach a server or a file.
void keep_standard_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        const int null = ::open("/dev/null", O_RDWR);  // takes the lowest free number: fd
        if (null >= 0 && null != fd) ::close(null);
    }
}

}  // namespace

int wait_for(const Ending& ending, int input_fd) {
    switch (ending.wait) {
        case Wait::none:
            return 0;
        case Wait::key:
            return support::key_wait(input_fd);
        case Wait::timed:
            return support::timed_wait(input_fd, ending.wait_ms);
    }
    return 0;
}

int run_program(int argc, char** argv) {
    keep_standard_descriptors();
    // a console pipe that closes early must not end the run before its body is written
    ::signal(SIGPIPE, SIG_IGN);
    // a file that grows past the size limit is a file problem (EFBIG), not a silent death
    ::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    Network network;
    const char* timeout = std::getenv("PAGEGLEAN_TIMEOUT");
    const std::optional<http::Timeouts> timeouts = http::timeouts_from(timeout);
    // a figure that is not taken is said once, before anything else is printed
    if (!timeouts) (void)support::write_all(STDERR_FILENO, timeout_ignored(timeout));
    network.reach.timeouts = timeouts.value_or(http::Timeouts{});
    network.reach.proxies = http::proxies_from_environment();
    const Ending ending = download(arguments, support::standard_console(), network);
    int signal = ending.signal;
    if (signal == 0 && ending.wait != Wait::none) {
        // a person at a terminal learns why nothing happens; standard output stays as it is
        const bool keys = ::isatty(STDIN_FILENO) == 1;
        if (::isatty(STDERR_FILENO) == 1 && (keys || ending.wait == Wait::timed)) {
            const std::string hint = wait_hint(ending.wait_ms, keys);
            (void)support::write_all(STDERR_FILENO, hint);
        }
        signal = wait_for(ending, STDIN_FILENO);
    }
    // a hang-up or termination ends a wait like a key; an interrupt or quit ends the run
    if (signal != 0 && (ending.signal != 0 || signal == SIGINT || signal == SIGQUIT)) {
        support::end_as_signal(signal);
    }
    return ending.code;
}

}  // namespace run
