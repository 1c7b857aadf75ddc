#pragma once

// The run: hops from the command line's URL through its redirects to a written body or a
// failure. It returns how it ends; only run_program waits and gives the exit code.

#include <cstdint>
#include <span>
#include <string>

#include "support/console.h"

namespace run {

constexpr std::uint16_t k_http_port = 80;  // fixed: a port in the URL is not interpreted

enum class Wait { none, key, timed };

struct Ending {
    int code = 0;
    Wait wait = Wait::none;
    std::int64_t wait_ms = 0;  // for the timed wait
    int signal = 0;            // a signal that ended the run, to be ended by once more
};

// Runs with the arguments after the program name, printing to `console`, talking to `port`.
Ending run(std::span<const std::string> arguments, const support::Console& console,
           std::uint16_t port = k_http_port);

// Carries out the ending's wait, reading keys from input_fd; the signal that ended it, or 0.
[[nodiscard]] int wait_for(const Ending& ending, int input_fd);

// The whole program: run, wait, and the exit code.
int run_program(int argc, char** argv);

}  // namespace run
