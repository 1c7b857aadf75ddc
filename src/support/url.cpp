#include "support/url.h"

#include "support/text.h"

namespace support {

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

}  // namespace support
