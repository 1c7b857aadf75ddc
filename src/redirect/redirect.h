#pragma once

// Following "Location: " lines from hop to hop.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "support/failure.h"
#include "support/url.h"

namespace redirect {

constexpr int k_max_redirects = 5;  // a sixth Location is announced, then refused

struct RedirectState {
    std::string last_value;  // the last Location value taken, blanks escaped, its port cut
    int count = 0;           // redirects taken so far
};

// Leading and trailing blanks dropped, each blank inside as %20, so that a server cannot
// add words to the output file name.
std::string escape_blanks(std::string_view value);

// An absolute value (a scheme or "//" in front) with its scheme's default port (":443" for
// https, ":80" for any other; for "//", that of the hop, secure_hop for https) cut where it
// ends the host, that is right before the first "/" after it or the end. Every other text
// is unchanged, so ":800", ":8080" and a ":80" in a path or query stay.
std::string cut_port(std::string_view text, bool secure_hop = false);

// Whether a value names its host itself: it begins with a scheme and "://", or with "//".
// A "://" further in, as in a query, leaves it relative.
bool is_absolute(std::string_view value);

// The path (a query after it untouched) without its "." and ".." segments, as RFC 3986
// section 5.2.4 removes them.
std::string remove_dot_segments(std::string_view path);

// The URL a value leads to from the hop that received it, as RFC 3986 section 5.2.2
// resolves a reference, except that only is_absolute values name a scheme. A value without
// a scheme keeps the hop's: shown as "https://" on a TLS hop, as nothing on a plain one
// ("//" for a plain "//" value).
support::Url resolve(std::string_view value, const support::Url& hop);

// Takes the redirect of a hop: the count, the value as the side file keeps it, and the
// next hop's URL; none when the value is empty once its blanks are dropped.
std::optional<support::Url> take_redirect(RedirectState& state, std::string_view value,
                                          const support::Url& hop);

// " <count>. redirection, new start with: <value>".
std::string format_notice(int count, std::string_view value);

// Copies the first `length` bytes of an open file that begins with the response (read from
// its own descriptor, so that another run's file of the same name cannot slip in) to a newly
// created preserved first response.
[[nodiscard]] std::optional<support::Failure> preserve_first_response(int response,
                                                                      std::int64_t length);

}  // namespace redirect
