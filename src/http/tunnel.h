#pragma once

// The CONNECT exchange that opens a tunnel through a proxy to an https server: the request,
// and the proxy's answer read by a parser fed bytes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "http/endpoint.h"
#include "http/stream.h"
#include "support/failure.h"

namespace http {

// "CONNECT host:port HTTP/1.0" and a Host line of the same (an IPv6 host in brackets, the
// port always written), then "Proxy-Authorization: " and the value when it is not empty;
// each line ended by CR LF, the empty line that ends the request not included.
std::string connect_head(const Endpoint& server, std::string_view authorization);

// An answer header longer than this has no end: no proxy sends one near it.
constexpr std::size_t k_max_connect_answer = 64 * 1024;

enum class TunnelVerdict { reading, open, refused };

// The proxy's answer to CONNECT, fed as it arrives. Lines end at LF, a CR right before it
// dropped. The status line must be "HTTP/1.0" or "HTTP/1.1", a blank and three digits
// (then a blank or the end); a 2xx one opens the tunnel at the first empty line, anything
// else refuses it as soon as the status line has ended.
class ConnectAnswer {
  public:
    // Takes the next bytes; returns how many it used: all of them until the verdict, none
    // after it, so what follows the answer stays the tunnel's.
    std::size_t feed(std::string_view bytes);

    TunnelVerdict verdict() const { return m_verdict; }

    // Why the tunnel was refused: the status line, or words when there is none or the
    // answer runs past k_max_connect_answer.
    const std::string& reason() const { return m_reason; }

  private:
    void end_line();
    // a header line so far that may still turn out empty: nothing, or the CR before an LF
    bool may_be_empty() const { return m_line.empty() || m_line == "\r"; }
    void refuse(std::string reason);

    TunnelVerdict m_verdict = TunnelVerdict::reading;
    std::string m_line;  // the line so far: the status line in full, others while empty
    bool m_status_seen = false;
    std::size_t m_taken = 0;
    std::string m_reason;
};

// Sends the CONNECT head and its empty line and reads the answer; a failure of the send
// or the receive, or a "Calling: CONNECT" one when the proxy closes or refuses, its
// reason as ConnectAnswer gives it.
[[nodiscard]] std::optional<support::Failure> open_tunnel(const Stream& stream,
                                                          std::string_view head);

}  // namespace http
