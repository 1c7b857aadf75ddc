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
    // What the message names after its first line, by `what`: the file's name (file), the
    // authority as written (resolve); for send, receive and connect, empty when err tells
    // why, else the reason in words (TLS, a proxy's refusal, a response cut short), which
    // the message shows in place of the number.
    std::string name;
    std::string_view call = {};  // the call that failed: "connect()", "SSL_read()", "pwrite"
};

// A file failure: pass errno straight from the failing call; the name is copied only
// after it has been read.
inline Failure file_failure(int err, const std::string& name, std::string_view call) {
    return Failure{Problem::file, err, name, call};
}

}  // namespace support
