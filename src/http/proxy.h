#pragma once

// Proxies as command-line downloaders take them from the environment: http_proxy for http
// URLs, https_proxy for https ones (reached through a CONNECT tunnel), no_proxy for the
// hosts that bypass them.

#include <optional>
#include <string>
#include <string_view>

#include "http/stream.h"
#include "support/failure.h"
#include "support/url.h"

namespace http {

// The environment's proxy settings, as given; empty when unset.
struct Proxies {
    std::string http;      // http_proxy (lower case only: a CGI sets HTTP_PROXY from a request)
    std::string https;     // https_proxy, else HTTPS_PROXY
    std::string no_proxy;  // no_proxy, else NO_PROXY
};

// Proxies from the process environment.
Proxies proxies_from_environment();

// A proxy to go through: where it is, and the Proxy-Authorization value for its
// credentials ("Basic ..."), empty when it has none.
struct Proxy {
    support::Url url;
    std::string authorization;
};

// The proxy for a URL, none when its scheme has none set or no_proxy bypasses its host: a
// comma list of names or domain suffixes, a leading dot or not, each with an optional port
// that must then match; "*" bypasses every host. A proxy is written as
// http://[user:password@]host[:port] (the scheme may be left out; user and password may be
// %-encoded); port 80 when none.
std::optional<Proxy> proxy_for(const support::Url& url, const support::Endpoint& server,
                               const Proxies& proxies);

// Whether no_proxy bypasses the host and port.
bool bypasses(std::string_view no_proxy, std::string_view host, std::uint16_t port);

// RFC 4648 base64 of the bytes.
std::string base64(std::string_view bytes);

// Asks the proxy at the other end of `stream` for a tunnel to the server's host and port
// ("CONNECT host:port HTTP/1.0" with a Host line and its credentials); a failure unless it
// answers 2xx, naming its status line.
[[nodiscard]] std::optional<support::Failure> open_tunnel(const Stream& stream,
                                                          const support::Endpoint& server,
                                                          const Proxy& proxy);

}  // namespace http
