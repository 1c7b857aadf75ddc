#pragma once

// One HTTP/1.0 request out, the whole response in to the spool file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/console.h"
#include "support/failure.h"

namespace http {

enum class Method { get, head };

// "GET" or "HEAD".
std::string_view method_text(Method method);

// The request line and the Host, Connection and User-Agent lines, each ended by CR LF;
// the empty line that ends the request is not included. host and path go in as they are.
std::string build_request_head(Method method, std::string_view host, std::string_view path,
                               std::string_view version);

// Sends every byte, continuing partial sends; a peer that has gone gives a send failure,
// never SIGPIPE.
std::optional<support::Failure> send_all(int socket, std::string_view bytes);

constexpr std::size_t k_receive_size = 8192;    // one receive, and one block of the spool file
constexpr std::size_t k_spool_batch = 1 << 18;  // received bytes gathered per spool write

struct Received {
    std::int64_t total = 0;  // bytes received on this hop
    std::optional<support::Failure> failure;
};

// Receives until the peer closes, 8,192 bytes at most at a time, into a spool that reads as
// if each receive of n bytes had been followed by a block write of the whole receive area
// at offset total: the n new bytes, a zero byte, and what earlier, longer receives of the
// hop left behind it. A receive error (after what arrived is written) or a failed write
// ends it with a failure; `log`, when given, gets one step line per receive.
Received receive_to_spool(int socket, int spool, const std::string& spool_name,
                          const support::Console* log);

// "<count>. step: <n> of <total>", each number in the console format.
std::string format_step_line(std::int64_t count, std::int64_t n, std::int64_t total);

}  // namespace http
