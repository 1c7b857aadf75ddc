#include "redirect/redirect.h"

#include <algorithm>
#include <cerrno>

#include "support/console.h"
#include "support/fd.h"
#include "support/file.h"
#include "support/text.h"
#include "support/work_files.h"

namespace redirect {

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

std::string cut_port(std::string_view text, bool secure_hop) {
    std::size_t host_start = scheme_length(text);
    bool secure = secure_hop;
    if (host_start > 0) {
        secure = support::lower(text.substr(0, host_start)) == k_https_scheme;
    } else if (text.starts_with("//")) {
        host_start = 2;
    } else {
        return std::string(text);
    }
    const std::string_view port = secure ? k_https_port_suffix : k_http_port_suffix;
    // the host runs to the first "/" after it, or to the end
    const std::size_t host_end = std::min(text.find('/', host_start), text.size());
    const std::string_view host = text.substr(host_start, host_end - host_start);
    if (!host.ends_with(port)) return std::string(text);
    return std::string(text.substr(0, host_end - port.size())).append(text.substr(host_end));
}

std::string base_directory(std::string_view url) {
    const auto slash = url.rfind('/');
    if (slash == std::string_view::npos || slash == 0) return std::string(url);
    return std::string(url.substr(0, slash + 1));
}

bool is_absolute(std::string_view target) {
    return scheme_length(target) > 0 || target.starts_with("//");
}

std::string resolve_relative(std::string_view base, std::string_view url) {
    if (url.starts_with('/')) {
        // the part of the base before its first "/" is its host
        return std::string(base.substr(0, base.find('/'))).append(url);
    }
    if (base.ends_with('/')) return std::string(base).append(url);
    return std::string(base).append("/").append(url);
}

std::string take_redirect(RedirectState& state, std::string_view value, std::string_view url,
                          std::string_view output_file, bool secure_hop) {
    // relative targets resolve against the hop that received them, and keep its scheme
    state.base = base_directory(url);
    state.secure = secure_hop;
    ++state.count;
    state.last_value = cut_port(escape_blanks(value), secure_hop);
    return state.last_value + " " + std::string(output_file);
}

std::string next_url(const RedirectState& state, std::string_view split_url) {
    // plain hops go on without a scheme, as they always have; TLS ones must say so
    const std::string_view scheme = state.secure ? k_https_scheme : std::string_view();
    if (scheme_length(state.last_value) > 0) return state.last_value;
    if (is_absolute(state.last_value))
        return std::string(scheme.substr(0, k_https_scheme.size() - 2)).append(state.last_value);
    return std::string(scheme).append(resolve_relative(state.base, split_url));
}

std::string next_tail(const RedirectState& state, std::string_view split_url,
                      std::string_view output_file) {
    return next_url(state, split_url).append(" ").append(output_file);
}

std::string format_notice(int count, std::string_view value) {
    return support::format_number(count) + ". redirection, new start with: " + std::string(value);
}

std::optional<support::Failure> preserve_first_response(int response) {
    const std::string& name = support::k_original_file;
    support::Fd original = support::create_work_file(name);
    if (!original) return support::file_failure(errno, name);
    int err = support::copy_range(response, 0, original.get(), support::length_of(response));
    if (const int close_err = original.close(); err == 0) err = close_err;
    if (err != 0) return support::file_failure(err, name);
    return std::nullopt;
}

}  // namespace redirect
