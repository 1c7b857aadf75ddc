#pragma once

// A failed step as a value. Lower layers return it; only run/ prints it and ends the run.

#include <string>

namespace support {

// The call or resource that failed; run/ words the message for each.
enum class Problem {
    file,
    resolve,
    socket,
    connect,
    send,
    receive,
    tls_handshake,
    tls_send,
    tls_receive
};

struct Failure {
    Problem what;
    int err = 0;  // errno copied right after the failing call
    // the file or host concerned, where there is one; for TLS, the library's reason
    std::string name;
};

// A file failure: pass errno straight from the failing call; the name is copied only
// after it has been read.
inline Failure file_failure(int err, const std::string& name) {
    return Failure{Problem::file, err, name};
}

}  // namespace support
