#include "harness/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    Launch launch;
    launch.input = input;
    launch.limit_seconds = limit_seconds;
    launch.where = where;
    return run_pageglean(arguments, directory, launch);
}

std::vector<std::string> failing_call(const std::string& call, const std::string& name, int err) {
    return {"LD_PRELOAD=" PAGEGLEAN_FAIL_IO, "PAGEGLEAN_FAIL_CALL=" + call,
            "PAGEGLEAN_FAIL_NAME=" + name, "PAGEGLEAN_FAIL_ERRNO=" + std::to_string(err),
            // the sanitizer runtime would insist on coming first in the preload list
            "ASAN_OPTIONS=verify_asan_link_order=0"};
}

Outcome run_pageglean(const std::vector<std::string>& arguments, const std::string& directory,
                      const Launch& launch) {
    const Input input = launch.input;
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
    // the launch's variables replace inherited ones of the same name
    std::vector<std::string> variables = launch.environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view inherited(*variable);
        const auto name = inherited.substr(0, inherited.find('=') + 1);
        if (std::none_of(launch.environment.begin(), launch.environment.end(),
                         [&](const std::string& set) { return set.starts_with(name); })) {
            variables.emplace_back(inherited);
        }
    }
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

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
        if (launch.where == Directory::removed && ::rmdir(directory.c_str()) != 0) ::_exit(127);
        if (launch.error_to_terminal && ::dup2(in, 2) < 0) ::_exit(127);
        if (launch.close_input) ::close(0);
        if (launch.close_output) ::close(1);
        ::execve(argv[0], argv.data(), envp.data());
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
    std::thread signaller;
    if (launch.signal != 0) {
        signaller = std::thread([child, &launch] {
            std::this_thread::sleep_for(std::chrono::duration<double>(launch.signal_after));
            ::kill(child, launch.signal);
        });
    }

    Outcome outcome;
    char buffer[65536];
    for (;;) {
        const double left = launch.limit_seconds - seconds_since(start);
        if (left <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        pollfd readable{out[0], POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        outcome.out.append(buffer, static_cast<std::size_t>(n));
        if (launch.close_pipe_early) break;
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (seconds_since(start) > launch.limit_seconds) ::kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    outcome.seconds = seconds_since(start);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (typist.joinable()) typist.join();
    if (signaller.joinable()) signaller.join();
    if (launch.error_to_terminal && master >= 0) {
        pollfd readable{master, POLLIN, 0};
        while (::poll(&readable, 1, 0) > 0) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            outcome.terminal.append(buffer, static_cast<std::size_t>(n));
        }
    }
    if (master >= 0) ::close(master);
    return outcome;
}

}  // namespace harness
