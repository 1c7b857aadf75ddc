#pragma once

// Running the real binary in a directory of its own.

#include <string>
#include <vector>

namespace harness {

// What standard input is for the run: /dev/null, or a pseudo-terminal with a key typed
// before the start, a key typed 300 ms after it, or no key at all.
enum class Input { none, key_before, key_later, terminal };

struct Outcome {
    int exit_code = -1;  // -1 when it had to be killed
    std::string out;     // standard output, byte for byte
    double seconds = 0;
};

// Where the run finds itself: in `directory`, or in it after it has been removed, so that
// no file can be made there, whoever runs the test.
enum class Directory { kept, removed };

// Runs the pageglean binary with `arguments` in `directory`; killed after `limit_seconds`.
Outcome run_pageglean(const std::vector<std::string>& arguments, const std::string& directory,
                      Input input = Input::none, double limit_seconds = 20,
                      Directory where = Directory::kept);

}  // namespace harness
