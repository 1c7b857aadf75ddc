#pragma once

// The command line: one text of all arguments, a method prefix and the quiet switch at its
// front, and the split of a command tail into the hop's target.

#include <span>
#include <string>
#include <string_view>

#include "http/credentials.h"
#include "http/method.h"
#include "support/url.h"

namespace run {

enum class Mode { loud, quiet };

// "loud" or "quiet".
std::string_view mode_text(Mode mode);

inline const std::string k_default_output = "pageglean.out";
constexpr std::string_view k_quiet_switch = "-q ";    // minus, q, blank
constexpr std::string_view k_head_prefix = "-head ";  // compared in lower case
constexpr std::string_view k_get_prefix = "-get ";

struct CommandLine {
    std::string argument_text;  // every argument, joined by single blanks
    std::string tail;           // the argument text less the method prefix and quiet switch
    http::Method method = http::Method::get;
    Mode mode = Mode::loud;
};

// The arguments after the program name joined with one blank between each two; empty
// when there are none.
std::string join_arguments(std::span<const std::string> arguments);

// Takes "-head " or "-get " (any case) from the front, then "-q " (exactly, right there).
CommandLine parse_command_line(std::string argument_text);

// A command tail split as text, before its url is parsed.
struct Split {
    std::string scheme;  // what the scheme cut took, its "//" included; empty when none
    std::string url;     // first word, trimmed, less a scheme: up to its first "//" when no
                         // "/" stands before it
    std::string output_file;
};

// Splits at the first blank: url before it, output file after it (trimmed). No blank, a
// blank that is the last character, or only blanks after it give "pageglean.out".
Split split_tail(std::string_view tail);

// What one hop fetches and where the body goes. The command log shows the URL as the hop
// fetches it, then after_url; the credentials are the last ones a URL of the run carried,
// sent only to their own origin.
struct Target {
    std::string after_url;  // the command tail from its first blank on, as typed; after a
                            // redirect, a blank and the output file
    support::Url url;
    std::string output_file;
    std::optional<http::Credentials> credentials;
};

// The first hop's target: the command tail's split, its url parsed once, its credentials.
Target first_target(std::string_view tail);

// The argument text as every hop's command log shows it: as typed, but with the first
// target's userinfo as support::shown_userinfo shows it, so its password never shows.
std::string shown_arguments(const CommandLine& command, const Target& first);

}  // namespace run
