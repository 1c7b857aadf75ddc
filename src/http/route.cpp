#include "http/route.h"

namespace http {

std::variant<Route, support::Failure> plan_route(const support::Url& url, const Proxies& proxies) {
    // a URL that names no usable server fails alike with or without a proxy
    const auto server = endpoint_of(url);
    if (!server) return support::Failure{support::Problem::resolve, 0, url.authority};
    Route route{*server, *server, url.authority, std::nullopt, url.tls};
    const std::string& setting = url.tls ? proxies.https : proxies.http;
    if (setting.empty() || bypasses(proxies.no_proxy, server->host, server->port)) return route;
    auto parsed = parse_proxy(setting);
    if (auto* refused = std::get_if<support::Failure>(&parsed)) return std::move(*refused);
    route.proxy = std::get<Proxy>(std::move(parsed));
    const auto peer = endpoint_of(route.proxy->url);
    route.peer_authority = route.proxy->url.authority;
    if (!peer) return support::Failure{support::Problem::resolve, 0, route.peer_authority};
    route.peer = *peer;
    return route;
}

}  // namespace http
