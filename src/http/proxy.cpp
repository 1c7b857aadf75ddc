#include "http/proxy.h"

#include <cstdlib>

#include "http/credentials.h"
#include "support/text.h"

namespace http {

namespace {

constexpr std::string_view k_http_scheme = "http://";
constexpr std::string_view k_separators = ", \t";  // between no_proxy entries

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A name as it compares: lower case, without the dot that may end a fully qualified one.
std::string comparable(std::string_view name) {
    if (name.ends_with('.')) name.remove_suffix(1);
    return support::lower(name);
}

// Whether one no_proxy entry names the host and port.
bool entry_matches(std::string entry, const std::string& name, std::uint16_t port) {
    // a port: after the "]" of an IPv6 address, else after the one ":" of a name
    const std::size_t colon = entry.rfind(':');
    const std::size_t bracket = entry.find(']');
    const bool has_port =
        colon != std::string::npos &&
        (bracket == std::string::npos ? entry.find(':') == colon : colon > bracket);
    if (has_port) {
        if (entry.substr(colon + 1) != std::to_string(port)) return false;
        entry.erase(colon);
    }
    if (entry.starts_with('[') && entry.ends_with(']')) entry = entry.substr(1, entry.size() - 2);
    if (entry.starts_with('.')) entry.erase(0, 1);
    entry = comparable(entry);
    if (entry.empty()) return false;
    return name == entry || (name.size() > entry.size() && name.ends_with(entry) &&
                             name[name.size() - entry.size() - 1] == '.');
}

}  // namespace

Proxies proxies_from_environment() {
    Proxies proxies;
    proxies.http = environment("http_proxy");
    proxies.https = environment("https_proxy");
    if (proxies.https.empty()) proxies.https = environment("HTTPS_PROXY");
    proxies.no_proxy = environment("no_proxy");
    if (proxies.no_proxy.empty()) proxies.no_proxy = environment("NO_PROXY");
    return proxies;
}

std::variant<Proxy, support::Failure> parse_proxy(std::string_view setting) {
    const std::size_t scheme = support::scheme_length(setting);
    if (scheme > 0 && support::lower(setting.substr(0, scheme)) != k_http_scheme) {
        const std::string_view name = setting.substr(0, scheme - support::k_scheme_mark.size());
        return support::Failure{support::Problem::connect, 0,
                                "unsupported proxy scheme '" + std::string(name) + "'",
                                "connect()"};
    }
    std::string_view rest = setting.substr(scheme);
    // a setting has no path that could hold an "@": the last one ends the userinfo
    std::optional<std::string> userinfo;
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        userinfo = std::string(rest.substr(0, at));
        rest.remove_prefix(at + 1);
    }
    Proxy proxy;
    proxy.url = support::make_url(k_http_scheme, rest);
    proxy.url.userinfo = std::move(userinfo);
    proxy.authorization = basic_authorization(proxy.url).value_or("");
    return proxy;
}

bool bypasses(std::string_view no_proxy, std::string_view host, std::uint16_t port) {
    if (support::trim(no_proxy) == "*") return true;
    const std::string name = comparable(host);
    std::size_t at = 0;
    while ((at = no_proxy.find_first_not_of(k_separators, at)) != std::string_view::npos) {
        const std::size_t end = std::min(no_proxy.find_first_of(k_separators, at), no_proxy.size());
        if (entry_matches(support::lower(no_proxy.substr(at, end - at)), name, port)) return true;
        at = end;
    }
    return false;
}

}  // namespace http
