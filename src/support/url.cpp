#include "support/url.h"

#include "support/text.h"

namespace support {

namespace {

bool is_unsafe(unsigned char c) { return c < 0x21 || c == 0x7F; }

bool is_unreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~';
}

constexpr std::string_view k_zone_mark = "%25";  // a "%" written for a URL

// The number of a port as written: digits only, 1 to 65535.
std::optional<std::uint16_t> port_number(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 65535) return std::nullopt;
    }
    if (value == 0) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::size_t scheme_length(std::string_view value) {
    // a letter, then letters, digits, "+", "-" or ".", then "://"
    const auto is_alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (value.empty() || !is_alpha(value[0])) return 0;
    std::size_t at = 1;
    while (at < value.size() && (is_alpha(value[at]) || (value[at] >= '0' && value[at] <= '9') ||
                                 value[at] == '+' || value[at] == '-' || value[at] == '.')) {
        ++at;
    }
    return value.substr(at).starts_with(k_scheme_mark) ? at + k_scheme_mark.size() : 0;
}

bool is_https(std::string_view scheme) { return lower(scheme) == k_https_scheme; }

Url make_url(std::string_view scheme, std::string_view rest) {
    Url url;
    url.scheme = std::string(scheme);
    url.tls = is_https(scheme);
    const std::size_t path_start = std::min(rest.find_first_of("/?#"), rest.size());
    const std::size_t fragment_start = std::min(rest.find('#'), rest.size());
    url.authority = std::string(rest.substr(0, path_start));
    if (const std::size_t at = url.authority.rfind('@'); at != std::string::npos) {
        url.userinfo = url.authority.substr(0, at);
        url.authority.erase(0, at + 1);
    }
    url.path = std::string(rest.substr(path_start, fragment_start - path_start));
    url.fragment = std::string(rest.substr(fragment_start));
    return url;
}

ShownUrl shown_url(const Url& url) {
    // the user stays, to tell which account was used; the password never shows
    const std::string host =
        url.userinfo ? shown_userinfo(*url.userinfo) + "@" + url.authority : url.authority;
    ShownUrl shown{host, host, url.path};
    if (shown.path.starts_with('/')) shown.path.erase(0, 1);
    shown.path += url.fragment;
    // the "/" that a request target always has, so that the text reads back as the same URL
    if (!url.path.empty() || !url.fragment.empty()) shown.url += "/" + shown.path;
    return shown;
}

std::string shown_userinfo(std::string_view userinfo) {
    const std::size_t colon = userinfo.find(':');
    if (colon == std::string_view::npos) return std::string(userinfo);
    return std::string(userinfo.substr(0, colon)) + ":****";
}

std::string percent_decoded(std::string_view text) {
    const auto hex_value = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
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

std::string url_text(const Url& url) { return url.scheme + shown_url(url).url; }

std::optional<Endpoint> endpoint_of(const Url& url) {
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
        endpoint.port = url.tls ? k_https_port : k_http_port;
    } else if (const auto number = port_number(port)) {
        endpoint.port = *number;
    } else {
        return std::nullopt;
    }
    return endpoint;
}

std::string authority_sent(const Url& url) {
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
    if (!path.starts_with('/')) target = "/";
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

}  // namespace support
