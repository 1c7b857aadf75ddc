#include "http/endpoint.h"

#include <algorithm>
#include <string_view>

#include "support/text.h"

namespace http {

namespace {

bool is_unsafe(unsigned char c) { return c < 0x21 || c == 0x7F; }

bool is_unreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

constexpr std::string_view k_zone_mark = "%25";  // a "%" written for a URL

// The number of a port as written: digits only, 1 to 65535.
std::optional<std::uint16_t> port_number(std::string_view digits) {
    const auto value = support::decimal(digits, 65535);
    if (!value || *value == 0) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

}  // namespace

std::optional<Endpoint> endpoint_of(const support::Url& url) {
    const std::string_view authority = url.authority;
    for (const char c : authority) {
        if (is_unsafe(static_cast<unsigned char>(c))) return std::nullopt;
    }
    Endpoint endpoint;
    std::string_view port;
    if (authority.starts_with('[')) {
        // an IPv6 literal: the brackets, then nothing or a port
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        const std::string_view inside = authority.substr(1, close - 1);
        const std::size_t mark = std::min(inside.find('%'), inside.size());
        endpoint.host = std::string(inside.substr(0, mark));
        endpoint.literal_v6 = true;
        // a zone: "%25", then the interface's name or number
        if (mark < inside.size()) {
            const std::string_view zone = inside.substr(mark);
            if (!zone.starts_with(k_zone_mark) || zone.size() == k_zone_mark.size()) {
                return std::nullopt;
            }
            for (const char c : zone.substr(k_zone_mark.size())) {
                if (!is_unreserved(c)) return std::nullopt;
            }
            endpoint.zone = std::string(zone.substr(k_zone_mark.size()));
        }
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) return std::nullopt;
        if (!after.empty()) {
            port = after.substr(1);
            if (port.empty()) return std::nullopt;
        }
    } else {
        const std::size_t colon = authority.find(':');
        endpoint.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty()) return std::nullopt;
        }
    }
    if (endpoint.host.empty()) return std::nullopt;
    if (port.empty()) {
        endpoint.port = url.tls ? support::k_https_port : support::k_http_port;
    } else if (const auto number = port_number(port)) {
        endpoint.port = *number;
    } else {
        return std::nullopt;
    }
    return endpoint;
}

std::string authority_sent(const support::Url& url) {
    std::string authority = url.authority;
    if (authority.starts_with('[')) {
        const std::size_t close = std::min(authority.find(']'), authority.size());
        const std::size_t mark = authority.find('%');
        if (mark < close) authority.erase(mark, close - mark);
    }
    return authority;
}

std::string request_target(std::string_view path) {
    constexpr std::string_view k_hex = "0123456789ABCDEF";
    std::string target;
    if (!path.starts_with('/')) target.push_back('/');
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_unsafe(byte)) {
            target += '%';
            target += k_hex[byte >> 4];
            target += k_hex[byte & 0xF];
        } else {
            target += c;
        }
    }
    return target;
}

}  // namespace http
