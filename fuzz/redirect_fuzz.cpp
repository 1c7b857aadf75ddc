// Redirect resolution on any Location value and hop URL (the input split at its first zero
// byte): whatever a server sends, the next hop's request line stays well formed, its log
// texts name what it fetches, and no "." or ".." segment is left in a path that the value
// gave.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "redirect/redirect.h"
#include "run/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto zero = input.find('\0');
    if (zero == std::string::npos) return 0;
    const std::string value = input.substr(0, zero);
    const run::Target hop = run::first_target(input.substr(zero + 1) + " out file");

    redirect::RedirectState state;
    const auto next = redirect::take_redirect(state, value, hop.url);
    fuzz::check(state.count == 1);
    fuzz::check(state.last_value.find(' ') == std::string::npos);
    if (!next) {
        fuzz::check(state.last_value.empty());
        return 0;
    }
    for (const char c : http::request_target(next->path)) {
        fuzz::check(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
    }
    // a value of only a query or fragment keeps the hop's path as it was
    const std::string path = next->path.substr(0, next->path.find('?'));
    if (!state.last_value.starts_with('?') && !state.last_value.starts_with('#')) {
        fuzz::check(path.find("/./") == std::string::npos &&
                    path.find("/../") == std::string::npos);
        fuzz::check(!path.ends_with("/.") && !path.ends_with("/.."));
    }
    fuzz::check(fuzz::shown_as_fetched(*next));
    if (!redirect::is_absolute(state.last_value)) {
        fuzz::check(next->authority == hop.url.authority && next->tls == hop.url.tls);
        fuzz::check(path.empty() || path.starts_with('/'));
    }
    return 0;
}
