#include "redirect/redirect.h"

#include "support/console.h"
#include "support/fd.h"
#include "support/file.h"
#include "support/text.h"

namespace redirect {

std::string_view location_value(std::string_view location_line) {
    return support::mid(location_line, 11);
}

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

std::string cut_port(std::string_view text) {
    const std::int64_t p = support::find(1, text, ":80");
    if (p == 0) return std::string(text);
    return std::string(support::left(text, p - 1)).append(support::mid(text, p + 3));
}

std::string base_directory(std::string_view url) {
    const auto slash = url.rfind('/');
    if (slash == std::string_view::npos || slash == 0) return std::string(url);
    return std::string(url.substr(0, slash + 1));
}

bool is_absolute(std::string_view target) {
    return target.find("://") != std::string_view::npos || target.starts_with("//");
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
                          std::string_view output_file) {
    // relative targets resolve against the hop that received them
    state.base = base_directory(url);
    ++state.count;
    state.target = cut_port(escape_blanks(value));
    return state.target + " " + std::string(output_file);
}

std::string next_url(const RedirectState& state, std::string_view split_url) {
    if (is_absolute(state.target)) return state.target;
    return resolve_relative(state.base, split_url);
}

std::string format_notice(int count, std::string_view value) {
    return support::format_number(count) + ". redirection, new start with: " + std::string(value);
}

void preserve_first_response(const std::string& response_name) {
    const support::Fd from = support::open_for_reading(response_name);
    if (!from) return;
    const support::Fd to = support::open_truncated(k_original_file);
    if (!to) return;
    support::copy_range(from.get(), 0, to.get(), support::length_of(from.get()));
}

}  // namespace redirect
