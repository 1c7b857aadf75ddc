#include "http/proxy.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/text.h"

namespace http {

namespace {

constexpr std::string_view k_http_scheme = "http://";
constexpr std::size_t k_max_answer = 64 * 1024;  // a proxy's answer header, far more than any

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
            hex_value(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The host and port as the tunnel asks for them: the port always written.
std::string tunnel_target(const support::Endpoint& server) {
    const std::string host = server.literal_v6 ? "[" + server.host + "]" : server.host;
    return host + ":" + std::to_string(server.port);
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

bool bypasses(std::string_view no_proxy, std::string_view host, std::uint16_t port) {
    const std::string name = support::lower(host);
    while (!no_proxy.empty()) {
        const std::size_t comma = std::min(no_proxy.find(','), no_proxy.size());
        std::string entry = support::lower(support::trim(no_proxy.substr(0, comma)));
        no_proxy.remove_prefix(std::min(comma + 1, no_proxy.size()));
        if (entry == "*") return true;
        // a port: after the "]" of an IPv6 address, else after the one ":" of a name
        const std::size_t colon = entry.rfind(':');
        const std::size_t bracket = entry.find(']');
        const bool has_port =
            colon != std::string::npos &&
            (bracket == std::string::npos ? entry.find(':') == colon : colon > bracket);
        if (has_port) {
            if (entry.substr(colon + 1) != std::to_string(port)) continue;
            entry.erase(colon);
        }
        if (entry.starts_with('[') && entry.ends_with(']'))
            entry = entry.substr(1, entry.size() - 2);
        if (entry.starts_with('.')) entry.erase(0, 1);
        if (entry.empty()) continue;
        if (name == entry || (name.size() > entry.size() && name.ends_with(entry) &&
                              name[name.size() - entry.size() - 1] == '.')) {
            return true;
        }
    }
    return false;
}

std::optional<Proxy> proxy_for(const support::Url& url, const support::Endpoint& server,
                               const Proxies& proxies) {
    std::string_view setting = url.tls ? proxies.https : proxies.http;
    if (setting.empty() || bypasses(proxies.no_proxy, server.host, server.port))
        return std::nullopt;

    if (support::lower(support::left(setting, k_http_scheme.size())) == k_http_scheme) {
        setting.remove_prefix(k_http_scheme.size());
    }
    Proxy proxy;
    proxy.url = support::make_url(k_http_scheme, setting);
    // credentials stand before the last "@" of the host part
    if (const std::size_t at = proxy.url.authority.rfind('@'); at != std::string::npos) {
        const std::string credentials = proxy.url.authority.substr(0, at);
        const std::size_t colon = std::min(credentials.find(':'), credentials.size());
        std::string plain = percent_decoded(credentials.substr(0, colon)) + ":";
        if (colon < credentials.size()) plain += percent_decoded(credentials.substr(colon + 1));
        proxy.authorization = "Basic " + base64(plain);
        proxy.url.authority.erase(0, at + 1);
    }
    return proxy;
}

std::string base64(std::string_view bytes) {
    constexpr std::string_view k_alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = group << 8 | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            out += j <= n ? k_alphabet[(group >> (18 - 6 * j)) & 63] : '=';
        }
    }
    return out;
}

std::optional<support::Failure> open_tunnel(const Stream& stream, const support::Endpoint& server,
                                            const Proxy& proxy) {
    const auto failure = [](std::string reason) {
        return support::Failure{support::Problem::connect, 0, std::move(reason), "CONNECT"};
    };
    const std::string target = tunnel_target(server);
    std::string request = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n";
    if (!proxy.authorization.empty()) {
        request += "Proxy-Authorization: " + proxy.authorization + "\r\n";
    }
    if (auto sent = stream.send_all(request + "\r\n")) return sent;

    // the answer's header only: the origin speaks after the handshake, never before
    std::string answer;
    char byte = 0;
    while (!answer.ends_with("\r\n\r\n") && !answer.ends_with("\n\n")) {
        if (answer.size() > k_max_answer) return failure("the proxy's answer has no end");
        const Stream::Read read = stream.read_some(&byte, 1);
        if (read.failure) return read.failure;
        if (read.wait != 0) {
            const int ready = wait_ready(stream.socket(), read.wait, stream.idle_ms());
            if (ready < 0) return failure(std::strerror(errno));
            if (ready == 0) return failure(std::strerror(ETIMEDOUT));
            continue;
        }
        if (read.size == 0) return failure("the proxy closed the connection");
        answer += byte;
    }
    const std::string status_line = answer.substr(0, answer.find_first_of("\r\n"));
    const std::size_t blank = status_line.find(' ');
    if (!status_line.starts_with("HTTP/") || blank == std::string::npos ||
        status_line.size() < blank + 2 || status_line[blank + 1] != '2') {
        return failure(status_line);
    }
    return std::nullopt;
}

}  // namespace http
