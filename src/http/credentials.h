#pragma once

// Basic credentials: taken from a URL's userinfo, sent to the origin that URL names and to
// no other, and never shown.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/url.h"

namespace http {

// RFC 4648 base64 of the bytes, with its "+" and "/" alphabet and "=" padding.
std::string base64(std::string_view bytes);

// The "Basic ..." value for a URL's userinfo: user and password %-decoded, joined by ":"
// (a user without a password gives "user:"); none when the URL has no userinfo or both are
// empty, so no empty credentials are ever sent.
std::optional<std::string> basic_authorization(const support::Url& url);

// Where credentials may go: the scheme (TLS or not), the host in lower case and the port.
struct Origin {
    bool tls = false;
    std::string host;
    std::uint16_t port = 0;
    bool operator==(const Origin&) const = default;
};

// The origin of a URL; none when it names no usable server.
std::optional<Origin> origin_of(const support::Url& url);

// A URL's credentials with the origin they were given for.
struct Credentials {
    Origin origin;
    std::string authorization;  // "Basic ..."
};

// The credentials a URL carries; none without them or without a usable server.
std::optional<Credentials> credentials_of(const support::Url& url);

// The Authorization value for a request to the URL: the credentials' when the URL is of
// their origin, else empty.
std::string authorization_for(const std::optional<Credentials>& credentials,
                              const support::Url& url);

// The request head as the log shows it: each Authorization and Proxy-Authorization line's
// credentials after the scheme word as "****" ("Proxy-Authorization: Basic ****").
std::string masked_head(std::string_view head);

}  // namespace http
