#pragma once

// Running the real binary in a directory of its own.

#include <string>
#include <vector>

namespace harness {

// What standard input is for the run: /dev/null, or a pseudo-terminal with a key typed
// before the start, a key typed 300 ms after it, or no key at all.
enum class Input { none, key_before, key_later, terminal };

struct Outcome {
    int exit_code = -1;    // -1 when it ended by a signal or had to be killed
    int signal = 0;        // the signal that ended it
    std::string out;       // standard output, byte for byte
    std::string terminal;  // what reached the pseudo-terminal, with error_to_terminal
    double seconds = 0;
};

// Where the run finds itself: in `directory`, or in it after it has been removed, so that
// no file can be made there, whoever runs the test.
enum class Directory { kept, removed };

// How the run is started and treated while it runs.
struct Launch {
    Input input = Input::none;
    double limit_seconds = 20;  // then it is killed
    Directory where = Directory::kept;
    bool close_input = false;        // starts with standard input closed
    bool close_output = false;       // starts with standard output closed; nothing is captured
    bool close_pipe_early = false;   // the reader of standard output goes after its first bytes
    bool error_to_terminal = false;  // standard error on the input's pseudo-terminal too
    std::vector<std::string> environment;  // NAME=VALUE added to the inherited one
    int signal = 0;                        // sent to the run after signal_after seconds
    double signal_after = 0;
};

// Runs the pageglean binary with `arguments` in `directory`.
Outcome run_pageglean(const std::vector<std::string>& arguments, const std::string& directory,
                      const Launch& launch);

Outcome run_pageglean(const std::vector<std::string>& arguments, const std::string& directory,
                      Input input = Input::none, double limit_seconds = 20,
                      Directory where = Directory::kept);

// The environment that makes the run's `call` ("close", "pread" or "pwrite") fail with
// `err` on the file whose name ends in `name`, through an interposed library.
std::vector<std::string> failing_call(const std::string& call, const std::string& name, int err);

}  // namespace harness
