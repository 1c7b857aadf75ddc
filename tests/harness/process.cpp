#include "harness/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace harness {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

Outcome run_pageglean(const std::vector<std::string>& arguments, const std::string& directory,
                      Input input, double limit_seconds, Directory where) {
    int master = -1;
    std::string slave_name;
    if (input != Input::none) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        slave_name = ::ptsname(master);
        if (input == Input::key_before) (void)!::write(master, "x", 1);
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};

    std::vector<std::string> words{PAGEGLEAN_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        // only async-signal-safe calls between fork and exec
        const int in = slave_name.empty() ? ::open("/dev/null", O_RDONLY)
                                          : ::open(slave_name.c_str(), O_RDWR | O_NOCTTY);
        if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(out[1], 1) < 0 ||
            ::chdir(directory.c_str()) != 0) {
            ::_exit(127);
        }
        if (where == Directory::removed && ::rmdir(directory.c_str()) != 0) ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);

    std::thread typist;
    if (input == Input::key_later) {
        typist = std::thread([master] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            (void)!::write(master, "x", 1);
        });
    }

    Outcome outcome;
    char buffer[65536];
    for (;;) {
        const double left = limit_seconds - seconds_since(start);
        if (left <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        pollfd readable{out[0], POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        outcome.out.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.seconds = seconds_since(start);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (typist.joinable()) typist.join();
    ::close(out[0]);
    if (master >= 0) ::close(master);
    return outcome;
}

}  // namespace harness
