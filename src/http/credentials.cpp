#include "http/credentials.h"

#include <algorithm>

#include "http/endpoint.h"
#include "support/text.h"

namespace http {

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

std::optional<std::string> basic_authorization(const support::Url& url) {
    if (!url.userinfo) return std::nullopt;
    // the user ends at the first ":": a password may hold more of them
    const std::string_view userinfo = *url.userinfo;
    const std::size_t colon = std::min(userinfo.find(':'), userinfo.size());
    const std::string user = support::percent_decoded(userinfo.substr(0, colon));
    const std::string password =
        support::percent_decoded(userinfo.substr(std::min(colon + 1, userinfo.size())));
    if (user.empty() && password.empty()) return std::nullopt;
    return "Basic " + base64(user + ":" + password);
}

std::optional<Origin> origin_of(const support::Url& url) {
    const auto endpoint = endpoint_of(url);
    if (!endpoint) return std::nullopt;
    return Origin{url.tls, support::lower(endpoint->host), endpoint->port};
}

std::optional<Credentials> credentials_of(const support::Url& url) {
    auto authorization = basic_authorization(url);
    const auto origin = origin_of(url);
    if (!authorization || !origin) return std::nullopt;
    return Credentials{*origin, std::move(*authorization)};
}

std::string authorization_for(const std::optional<Credentials>& credentials,
                              const support::Url& url) {
    if (!credentials || origin_of(url) != credentials->origin) return {};
    return credentials->authorization;
}

std::string masked_head(std::string_view head) {
    std::string shown;
    while (!head.empty()) {
        const std::size_t lf = head.find('\n');
        const std::size_t end = lf == std::string_view::npos ? head.size() : lf + 1;
        std::string_view line = head.substr(0, end);
        head.remove_prefix(end);
        const std::string name = support::lower(line.substr(0, line.find(':') + 1));
        if (name == "authorization:" || name == "proxy-authorization:") {
            // the scheme word stays: it tells what kind of credentials went, not which
            const std::size_t value = line.find_first_not_of(' ', name.size());
            const std::size_t word_end = line.find_first_of(" \r\n", value);
            shown.append(line.substr(0, word_end)).append(" ****");
            line.remove_prefix(std::min(line.find_first_of("\r\n"), line.size()));
        }
        shown.append(line);
    }
    return shown;
}

}  // namespace http
