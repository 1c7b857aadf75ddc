#pragma once

// A failed step as a value. Lower layers return it; only run/ prints it and ends the run.

#include <string>
#include <string_view>

namespace support {

// What failed, which decides the message: each kind has its own first line.
enum class Problem {
    file,     // a work file or the output: "File problem."
    resolve,  // no address for the host
    connect,  // socket, connect, a proxy's CONNECT or the TLS handshake
    send,
    receive,
};

struct Failure {
    Problem what;
    int err = 0;  // errno copied right after the failing call
    // the file or host concerned; for TLS and cut-short responses, the reason in words,
    // which the message then shows in place of the number
    std::string name;
    std::string_view call = {};  // the call that failed: "connect()", "SSL_read()", "pwrite"
};

// A file failure: pass errno straight from the failing call; the name is copied only
// after it has been read.
inline Failure file_failure(int err, const std::string& name, std::string_view call) {
    return Failure{Problem::file, err, name, call};
}

}  // namespace support
