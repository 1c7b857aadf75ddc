#pragma once

// A failed step as a value. Lower layers return it; only run/ prints it and ends the run.

#include <cerrno>
#include <string>

namespace support {

// The call or resource that failed; run/ words the message for each.
enum class Problem { file, resolve, socket, connect, send, receive };

struct Failure {
    Problem what;
    int err = 0;       // errno copied right after the failing call
    std::string name;  // the file or host concerned, where there is one
};

// A file failure with the errno of the call that just failed.
inline Failure file_failure(std::string name) {
    return Failure{Problem::file, errno, std::move(name)};
}

}  // namespace support
