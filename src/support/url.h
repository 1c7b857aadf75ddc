#pragma once

// A URL as a hop uses it: the texts as written, for the logs, and what is sent and where
// it goes, derived from them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace support {

constexpr std::string_view k_https_scheme = "https://";  // any other scheme speaks plain HTTP
constexpr std::uint16_t k_http_port = 80;
constexpr std::uint16_t k_https_port = 443;

struct Url {
    std::string scheme;     // as written with its "//" ("https://", "scheme://", "//"), or empty
    bool tls = false;       // https in any case; a value without a scheme keeps its hop's
    std::string authority;  // the host part as written: "h", "h:8080", "[::1]:8443"
    std::string path;       // from the "/" or "?" after the authority to any "#"; may be empty
    std::string fragment;   // "#" and what follows: shown in the logs, never sent
};

// Whether a scheme as written (with its "//") asks for TLS.
bool is_https(std::string_view scheme);

// A URL from its scheme as written and the rest: the authority runs to the first "/", "?"
// or "#", the path from there to the first "#", the fragment from there.
Url make_url(std::string_view scheme, std::string_view rest);

// scheme, authority, path and fragment as one text, as the logs show it.
std::string url_text(const Url& url);

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
std::optional<Endpoint> endpoint_of(const Url& url);

// The authority as a request carries it (Host line, a proxy's request line): as written,
// less an IPv6 literal's zone, which means nothing beyond this machine.
std::string authority_sent(const Url& url);

// The request target: "/" when the path is empty or begins with "?", then the path, each
// byte below 0x21 and 0x7F as %XX, so no request line can break.
std::string request_target(std::string_view path);

}  // namespace support
