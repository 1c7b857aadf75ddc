#pragma once

// A URL as HTTP uses it: where its server is, and how a request names it. Bytes that no
// request line could carry (below 0x21, and 0x7F) name no server and are escaped in a target.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/url.h"

namespace http {

// Where a URL's server is: the host to look up (an IPv6 literal without its brackets and
// zone) and the port, the scheme's unless the authority names one.
struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
    bool literal_v6 = false;  // the host was written in brackets
    std::string zone;         // an IPv6 literal's interface name or number; empty when none
};

// The endpoint of an authority; none when it names no usable host: empty, a byte below
// 0x21 or 0x7F anywhere, an unclosed bracket, a "%" in brackets that is not "%25" and a
// zone of letters, digits and "-._~", or a port that is not a number from 1 to 65535
// (a colon with nothing after it included).
std::optional<Endpoint> endpoint_of(const support::Url& url);

// The authority as a request carries it (Host line, a proxy's request line): as written,
// less an IPv6 literal's zone, which means nothing beyond this machine.
std::string authority_sent(const support::Url& url);

// The request target: "/" when the path is empty or begins with "?", then the path, each
// byte below 0x21 and 0x7F as %XX, so no request line can break.
std::string request_target(std::string_view path);

}  // namespace http
