#pragma once

// Finding a host's addresses and connecting to the first that answers, over IPv4 or IPv6,
// each attempt bounded in time.

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/endpoint.h"
#include "http/proxy.h"
#include "http/stream.h"
#include "support/failure.h"
#include "support/fd.h"
#include "support/url.h"

namespace http {

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// The endpoint's addresses in the order to try them: a dotted IPv4 address or a bracketed
// IPv6 one as written (its zone, an interface's name or number, as its scope), else every
// address the name lookup gives, IPv4 and IPv6, whatever addresses the machine has. Empty
// when there are none, or when the zone names no interface. IPv4 addresses are read
// strictly, as four decimal bytes: a host of digits and dots that is no such address, or any
// other form the lookup would read as a number ("127.1", "0x7f.1", "2130706433"), has none
// and is not looked up as a name.
std::vector<Address> resolve(const Endpoint& endpoint);

// The address as the log shows it after "IP:": an IPv4 address as its four bytes read as
// a little-endian signed 32-bit number in the console format (1.2.0.0 gives " 513"), an
// IPv6 one as a blank and its text form.
std::string address_shown(const Address& address);

// A TCP socket connected to the address, non-blocking, in `socket`; after timeout_ms (-1:
// the system's own limit) without an answer, ETIMEDOUT. A failure closes the socket.
[[nodiscard]] std::optional<support::Failure> connect_to(const Address& address,
                                                         std::int64_t timeout_ms,
                                                         support::Fd& socket);

// What reaching a server depends on besides its URL.
struct Reach {
    Timeouts timeouts;
    Proxies proxies;
};

// What reaching a URL's server gave: a stream ready for the request, or a failure; the
// address to log either way (the one connected, or the last one tried); the proxy that
// an http request must then name the whole URL to; and the CONNECT request as sent
// (without its empty line), for the log, empty when no tunnel was asked for.
struct Dialed {
    Stream stream;
    std::string shown = " 0";
    std::optional<support::Failure> failure;
    std::optional<Proxy> http_proxy;
    std::string tunnel_head;
};

// Follows the route plan_route gives for the URL: resolves its peer (the server or the
// proxy), connects to each address until one answers, opens the tunnel when the route has
// one, and speaks TLS with the server itself when it asks for TLS. A failure to resolve
// names the peer's authority, never with a userinfo. From the connect that answered to the
// end of the handshake, the phase lasts connect_phase_ms at most; the stream it gives has no
// such bound.
Dialed dial(const support::Url& url, const Reach& reach);

}  // namespace http
