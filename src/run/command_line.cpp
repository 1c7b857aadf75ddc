#include "run/command_line.h"

#include <algorithm>

#include "support/text.h"

namespace run {

std::string_view mode_text(Mode mode) { return mode == Mode::quiet ? "quiet" : "loud"; }

std::string join_arguments(std::span<const std::string> arguments) {
    std::string text;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) text += ' ';
        text += arguments[i];
    }
    return text;
}

CommandLine parse_command_line(std::string argument_text) {
    CommandLine command;
    command.argument_text = std::move(argument_text);
    std::string_view tail = command.argument_text;

    // prefixes are compared on a lower-cased copy and cut from the text itself
    const std::string lowered = support::lower(support::left(tail, k_head_prefix.size()));
    if (lowered == k_head_prefix) {
        command.method = http::Method::head;
        tail.remove_prefix(k_head_prefix.size());
    } else if (support::left(lowered, k_get_prefix.size()) == k_get_prefix) {
        command.method = http::Method::get;
        tail.remove_prefix(k_get_prefix.size());
    }

    // the quiet switch only stands at the front or right after a prefix
    if (tail.starts_with(k_quiet_switch)) {
        command.mode = Mode::quiet;
        tail.remove_prefix(k_quiet_switch.size());
    }
    command.tail = std::string(tail);
    return command;
}

Split split_tail(std::string_view tail) {
    Split target;
    const std::int64_t blank = support::find(1, tail, " ");
    const auto length = static_cast<std::int64_t>(tail.size());
    if (blank == 0 || blank == length) {
        target.url = support::trim(tail);
    } else {
        target.url = support::trim(support::left(tail, blank - 1));
        target.output_file = support::trim(support::mid(tail, blank + 1));
    }
    if (target.output_file.empty()) target.output_file = k_default_output;

    // the scheme cut: up to and including the first "//", only when no "/" stands before
    // it, so a path holding "//" never names another host
    const std::int64_t slashes = support::find(1, target.url, "//");
    if (slashes > 0 && support::find(1, target.url, "/") == slashes) {
        target.scheme = std::string(support::left(target.url, slashes + 1));
        target.url = std::string(support::mid(target.url, slashes + 2));
    }
    return target;
}

Target first_target(std::string_view tail) {
    Split split = split_tail(tail);
    support::Url url = support::make_url(split.scheme, split.url);
    std::optional<http::Credentials> credentials = http::credentials_of(url);
    return Target{std::string(tail.substr(std::min(tail.find(' '), tail.size()))),
                  std::move(url), std::move(split.output_file), std::move(credentials)};
}

std::string shown_arguments(const CommandLine& command, const Target& first) {
    const std::string& text = command.argument_text;
    if (!first.url.userinfo) return text;
    // the tail begins with the URL as typed, whose userinfo follows its scheme
    const std::size_t at = text.size() - command.tail.size() + first.url.scheme.size();
    return text.substr(0, at) + support::shown_userinfo(*first.url.userinfo) +
           text.substr(at + first.url.userinfo->size());
}

}  // namespace run
