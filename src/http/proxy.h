#pragma once

// Proxies as command-line downloaders take them from the environment: http_proxy for http
// URLs, https_proxy for https ones (reached through a CONNECT tunnel), no_proxy for the
// hosts that bypass them. Which way a URL goes is route.h's; the tunnel is tunnel.h's.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

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

// A proxy to go through: where it is (its userinfo as written, never shown), and the
// Proxy-Authorization value for its credentials ("Basic ..."), empty when it has none.
struct Proxy {
    support::Url url;
    std::string authorization;
};

// A proxy setting read with the URL model: [http://][user[:password]@]host[:port][/...],
// the scheme in any case, port 80 when none. The userinfo runs to the setting's last "@",
// so "/", "#" and "@" may stand in a password unescaped; user and password are %-decoded.
// Any other scheme (socks5://, https://) is refused before anything is sent, as a connect
// failure "unsupported proxy scheme 'socks5'".
std::variant<Proxy, support::Failure> parse_proxy(std::string_view setting);

// Whether no_proxy bypasses the host (an IPv6 address without brackets) and port: entries
// separated by commas and/or blanks, each a name or a domain suffix with or without a
// leading dot and with an optional port that must then match ("[::1]:8080" for IPv6);
// letter case and one trailing dot of host or entry do not count; a suffix matches only
// at a dot. "*" bypasses every host, but only as the whole value.
bool bypasses(std::string_view no_proxy, std::string_view host, std::uint16_t port);

}  // namespace http
