#include "redirect/redirect.h"

#include <algorithm>
#include <cerrno>

#include "support/console.h"
#include "support/fd.h"
#include "support/file.h"
#include "support/text.h"
#include "support/work_files.h"

namespace redirect {

using support::scheme_length;

std::string escape_blanks(std::string_view value) {
    while (value.ends_with(' ')) value.remove_suffix(1);
    std::string escaped;
    for (const char c : support::trim_start(value)) {
        if (c == ' ') {
            escaped += "%20";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string cut_port(std::string_view text, bool secure_hop) {
    std::size_t host_start = scheme_length(text);
    bool secure = secure_hop;
    if (host_start > 0) {
        secure = support::is_https(text.substr(0, host_start));
    } else if (text.starts_with("//")) {
        host_start = 2;
    } else {
        return std::string(text);
    }
    const std::uint16_t default_port = secure ? support::k_https_port : support::k_http_port;
    const std::string port = std::string(1, ':').append(std::to_string(default_port));
    // the host runs to the first "/" after it, or to the end
    const std::size_t host_end = std::min(text.find('/', host_start), text.size());
    const std::string_view host = text.substr(host_start, host_end - host_start);
    if (!host.ends_with(port)) return std::string(text);
    return std::string(text.substr(0, host_end - port.size())).append(text.substr(host_end));
}

bool is_absolute(std::string_view value) {
    return scheme_length(value) > 0 || value.starts_with("//");
}

std::string remove_dot_segments(std::string_view path) {
    const std::size_t query = std::min(path.find('?'), path.size());
    std::string_view in = path.substr(0, query);
    std::string out;
    const auto drop_last_segment = [&out] { out.erase(std::min(out.rfind('/'), out.size())); };
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            drop_last_segment();
        } else if (in == "/..") {
            in = "/";
            drop_last_segment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            // the first segment, with the "/" before it, moves to the output
            const std::size_t next = std::min(in.find('/', 1), in.size());
            out.append(in.substr(0, next));
            in.remove_prefix(next);
        }
    }
    return out.append(path.substr(query));
}

support::Url resolve(std::string_view value, const support::Url& hop) {
    if (const std::size_t scheme = scheme_length(value); scheme > 0) {
        support::Url url = support::make_url(value.substr(0, scheme), value.substr(scheme));
        url.path = remove_dot_segments(url.path);
        return url;
    }
    const std::string_view hop_scheme = hop.tls ? support::k_https_scheme : std::string_view();
    if (value.starts_with("//")) {
        support::Url url = support::make_url(hop.tls ? hop_scheme : "//", value.substr(2));
        url.path = remove_dot_segments(url.path);
        return url;
    }
    // the same host; the value's path and query are read against the hop's
    support::Url url = support::make_url(hop_scheme, "");
    url.userinfo = hop.userinfo;
    url.authority = hop.authority;
    const std::size_t fragment = std::min(value.find('#'), value.size());
    const std::size_t query = std::min(value.find('?'), fragment);
    const std::string_view path = value.substr(0, query);
    const std::string_view hop_path = std::string_view(hop.path).substr(0, hop.path.find('?'));
    url.fragment = std::string(value.substr(fragment));
    if (path.empty()) {
        url.path = query < fragment
                       ? std::string(hop_path).append(value.substr(query, fragment - query))
                       : hop.path;
        return url;
    }
    std::string merged;
    if (path.starts_with('/')) {
        merged = std::string(path);
    } else {
        // the hop's path up to its last "/", or the root when it has none
        const std::size_t slash = hop_path.rfind('/');
        merged = slash == std::string_view::npos ? "/" : std::string(hop_path.substr(0, slash + 1));
        merged.append(path);
    }
    url.path = remove_dot_segments(merged).append(value.substr(query, fragment - query));
    return url;
}

std::optional<support::Url> take_redirect(RedirectState& state, std::string_view value,
                                          const support::Url& hop) {
    ++state.count;
    state.last_value = cut_port(escape_blanks(value), hop.tls);
    if (state.last_value.empty()) return std::nullopt;
    return resolve(state.last_value, hop);
}

std::string format_notice(int count, std::string_view value) {
    return support::format_number(count) + ". redirection, new start with: " + std::string(value);
}

std::optional<support::Failure> preserve_first_response(int response, std::int64_t length) {
    const std::string& name = support::k_original_file;
    support::Fd original = support::create_work_file(name);
    if (!original) return support::file_failure(errno, name, "open");
    int err = support::copy_range(response, 0, original.get(), length);
    if (const int close_err = original.close(); err == 0) err = close_err;
    if (err != 0) return support::file_failure(err, name, "copy");
    return std::nullopt;
}

}  // namespace redirect
