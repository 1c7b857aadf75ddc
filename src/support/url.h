#pragma once

// A URL as a hop uses it: the texts as written, and what is sent, where it goes and what
// the logs show, derived from them.

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

// What the logs show of a URL, derived from it alone so that they name what is fetched and
// read back as the same URL: the host is the authority; the path is the path less the "/"
// it begins with, then the fragment; the URL is the host, then "/" and the path, unless the
// URL has neither path nor fragment. So "h?y" shows as "h/?y" with the path "?y", and a
// path "//a" as "h//a" with the path "/a".
struct ShownUrl {
    std::string url;
    std::string host;
    std::string path;
};
ShownUrl shown_url(const Url& url);

// The scheme as written, then the URL as shown_url shows it: the whole URL as the logs
// show it.
std::string url_text(const Url& url);

// Where a URL's server is: the host to look up (an IPv6 literal without its brackets) and
// the port, the scheme's unless the authority names one.
struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
    bool literal_v6 = false;  // the host was written in brackets
};

// The endpoint of an authority; none when it names no usable host: empty, a byte below
// 0x21 or 0x7F anywhere, an unclosed bracket, or a port that is not a number from 1 to
// 65535.
std::optional<Endpoint> endpoint_of(const Url& url);

// The request target: "/" when the path is empty or begins with "?", then the path, each
// byte below 0x21 and 0x7F as %XX, so no request line can break.
std::string request_target(std::string_view path);

}  // namespace support
