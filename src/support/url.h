#pragma once

// A URL as a hop uses it: the texts as written, and what the logs show, derived from them.
// Where it leads and what a request sends of it are http's.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace support {

constexpr std::string_view k_https_scheme = "https://";  // any other scheme speaks plain HTTP
// The port of a URL whose authority names none, by its scheme: a fact of the URL as written,
// which the server's endpoint (http) and the port cut of a Location value (redirect) share.
constexpr std::uint16_t k_http_port = 80;
constexpr std::uint16_t k_https_port = 443;

struct Url {
    std::string scheme;     // as written with its "//" ("https://", "scheme://", "//"), or empty
    bool tls = false;       // https in any case; a value without a scheme keeps its hop's
    // what stands before the host part's last "@" ("user:password", %-escaped as written);
    // none without an "@"
    std::optional<std::string> userinfo;
    std::string authority;  // the host part as written, less any userinfo: "h", "[::1]:8443"
    std::string path;       // from the "/" or "?" after the authority to any "#"; may be empty
    std::string fragment;   // "#" and what follows: shown in the logs, never sent
};

constexpr std::string_view k_scheme_mark = "://";

// The length of a leading scheme with its "://" (a letter, then letters, digits, "+", "-"
// or "."); 0 when the value does not begin with one.
std::size_t scheme_length(std::string_view value);

// Whether a scheme as written (with its "//") asks for TLS.
bool is_https(std::string_view scheme);

// A URL from its scheme as written and the rest: the host part runs to the first "/", "?"
// or "#", the path from there to the first "#", the fragment from there. A userinfo ends
// at the host part's last "@", so an unescaped "@" in a password stays in it.
Url make_url(std::string_view scheme, std::string_view rest);

// What the logs show of a URL, derived from it alone so that they name what is fetched and
// read back as the same URL, never its password: the host is the authority, after the
// userinfo as shown_userinfo shows it and "@" when there is one ("alice:****@h"); the path
// is the path less the "/" it begins with, then the fragment; the URL is the host, then "/"
// and the path, unless the URL has neither path nor fragment. So "h?y" shows as "h/?y" with the path "?y", and a
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

// A userinfo as the logs show it: the user as written, then ":****" when a password (even
// an empty one) was given, so a password never shows.
std::string shown_userinfo(std::string_view userinfo);

// The text with every "%XX" (two hex digits) as its byte; a "%" without them stays.
std::string percent_decoded(std::string_view text);

}  // namespace support
