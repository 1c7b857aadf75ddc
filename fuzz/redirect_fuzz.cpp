// Redirect resolution on any Location value, url and output file name (the input split at
// its first two zero bytes): whatever a server sends, the next hop's output file stays the
// user's, and the target carries no blank.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "redirect/redirect.h"
#include "run/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto first = input.find('\0');
    if (first == std::string::npos) return 0;
    const auto second = input.find('\0', first + 1);
    if (second == std::string::npos) return 0;
    const std::string value = input.substr(0, first);
    const run::Target hop = run::split_tail(input.substr(first + 1, second - first - 1) + " " +
                                            input.substr(second + 1));

    redirect::RedirectState state;
    const std::string tail = redirect::take_redirect(state, value, hop.url, hop.output_file);
    fuzz::check(state.count == 1);
    fuzz::check(state.last_value.find(' ') == std::string::npos);
    fuzz::check(tail == state.last_value + " " + hop.output_file);
    if (state.last_value.empty()) return 0;  // the next hop ends at the url check

    const run::Target next = run::split_tail(tail);
    fuzz::check(next.output_file == hop.output_file);
    const std::string url = redirect::next_url(state, next.url);
    const run::Target resolved = run::split_tail(url + " " + next.output_file);
    fuzz::check(resolved.output_file == hop.output_file);
    if (!redirect::is_absolute(state.last_value) && !next.url.empty() && next.url.front() != '/' &&
        !state.base.empty()) {
        fuzz::check(url.starts_with(state.base));
    }
    return 0;
}
