#pragma once

// Following "Location: " lines from hop to hop.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "support/failure.h"

namespace redirect {

constexpr int k_max_redirects = 5;  // a sixth Location is announced, then refused

struct RedirectState {
    std::string last_value;  // the last Location value taken, blanks escaped, its port cut
    int count = 0;           // redirects taken so far
    std::string base;        // base directory of the hop that received the last redirect
    bool secure = false;     // whether that hop spoke TLS: values without a scheme keep it
};

// Leading and trailing blanks dropped, each blank inside as %20, so that a server cannot
// add words to the output file name through the command tail.
std::string escape_blanks(std::string_view value);

constexpr std::string_view k_scheme_mark = "://";
constexpr std::string_view k_https_scheme = "https://";
constexpr std::string_view k_http_port_suffix = ":80";
constexpr std::string_view k_https_port_suffix = ":443";

// The length of a leading scheme with its "://" (a letter, then letters, digits, "+", "-"
// or "."); 0 when the value does not begin with one.
std::size_t scheme_length(std::string_view value);

// An absolute value (a scheme or "//" in front) with its scheme's default port (":443" for
// https, ":80" for any other; for "//", that of the hop, secure_hop for https) cut where it
// ends the host, that is right before the first "/" after it or the end. Every other text
// is unchanged, so ":800", ":8080" and a ":80" in a path or query stay.
std::string cut_port(std::string_view text, bool secure_hop = false);

// url up to and including its last "/" when that stands at position 2 or later; else the
// whole url.
std::string base_directory(std::string_view url);

// Whether a target names its host itself: it begins with a scheme and "://", or with "//".
// A "://" further in, as in a query, leaves it relative.
bool is_absolute(std::string_view target);

// A relative url resolved against a base directory: a url starting with "/" goes under the
// base's host, any other is appended to the base (with a "/" between when it has none).
std::string resolve_relative(std::string_view base, std::string_view url);

// Takes the redirect of a hop whose target had `url` and `output_file` (over TLS when
// secure_hop): updates the state and gives the next command tail (target, a blank, the
// output file).
std::string take_redirect(RedirectState& state, std::string_view value, std::string_view url,
                          std::string_view output_file, bool secure_hop = false);

// The url of the hop after a redirect: the target itself when it has a scheme, else
// split_url (what the split of the hop's command tail gave) resolved against the base
// directory; "https:" or "https://" in front when the redirecting hop spoke TLS.
std::string next_url(const RedirectState& state, std::string_view split_url);

// The command tail of the hop after a redirect: next_url, a blank, the output file, both as
// the split of the tail built by take_redirect gave them.
std::string next_tail(const RedirectState& state, std::string_view split_url,
                      std::string_view output_file);

// " <count>. redirection, new start with: <value>".
std::string format_notice(int count, std::string_view value);

// Copies the open response file, read from its own descriptor so that another run's file
// of the same name cannot slip in, to a newly created preserved first response.
[[nodiscard]] std::optional<support::Failure> preserve_first_response(int response);

}  // namespace redirect
