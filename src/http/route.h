#pragma once

// The way to a URL's server, planned before anything is sent: straight or through the
// proxy its scheme's setting names, through a CONNECT tunnel or not, TLS or not.

#include <optional>
#include <string>
#include <variant>

#include "http/endpoint.h"
#include "http/proxy.h"
#include "support/failure.h"
#include "support/url.h"

namespace http {

struct Route {
    Endpoint server;             // the URL's server; TLS checks its name, a tunnel leads to it
    Endpoint peer;               // where the connection goes: the server, or the proxy
    std::string peer_authority;  // the peer's authority as written: what a failed lookup names
    std::optional<Proxy> proxy;  // the proxy gone through; none when straight
    bool tls = false;            // TLS with the server itself, through a tunnel too

    // a CONNECT to the server through the proxy comes first: TLS through a proxy
    bool tunnel() const { return proxy.has_value() && tls; }
};

// The route to a URL's server: through its scheme's proxy (http_proxy for http, https_proxy
// through a tunnel for https) unless none is set or no_proxy bypasses the server. A resolve
// failure naming the authority as written (never its userinfo) when the URL's server, or
// the proxy's, is no usable endpoint; the proxy's refusal when its setting cannot be used.
std::variant<Route, support::Failure> plan_route(const support::Url& url, const Proxies& proxies);

}  // namespace http
