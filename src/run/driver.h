#pragma once

// The run: hops from the command line's URL through its redirects to a written body or a
// failure. It returns how it ends; only run_program waits and gives the exit code.

#include <cstdint>
#include <span>
#include <string>

#include "run/hop.h"
#include "support/console.h"

namespace run {

enum class Wait { none, key, timed };

struct Ending {
    int code = 0;
    Wait wait = Wait::none;
    std::int64_t wait_ms = 0;  // for the timed wait
    int signal = 0;            // a signal that ended the run, to be ended by once more
};

// The ways a run ends without a timed wait (that one depends on the output mode).
constexpr Ending k_finished{0, Wait::none, 0};    // the body was written, or usage asked
constexpr Ending k_no_url{0, Wait::none, 0};      // no arguments: nothing asked for
constexpr Ending k_dead_end{1, Wait::none, 0};    // no URL in what was given: nothing fetched
constexpr Ending k_usage_error{1, Wait::key, 0};  // no host: the usage stays on screen

// Runs with the arguments after the program name, printing to `console`, reaching servers
// through `network`.
Ending download(std::span<const std::string> arguments, const support::Console& console,
                const Network& network);

// Carries out the ending's wait, reading keys from input_fd; the signal that ended it, or 0.
[[nodiscard]] int wait_for(const Ending& ending, int input_fd);

// The whole program: run, wait, and the exit code.
int run_program(int argc, char** argv);

}  // namespace run
