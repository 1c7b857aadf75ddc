#pragma once

// A failed property check: abort, so that libFuzzer keeps the input that broke it.

#include <cstdlib>
#include <string>

#include "http/endpoint.h"
#include "support/url.h"

namespace fuzz {

inline void check(bool condition) {
    if (!condition) std::abort();
}

// Whether the texts the logs show of a URL name what it fetches: the whole text read back
// gives the same server, request target and fragment, and the host holds none of the rest.
inline bool shown_as_fetched(const support::Url& url) {
    const support::ShownUrl shown = support::shown_url(url);
    const support::Url again = support::make_url(url.scheme, shown.url);
    return again.authority == url.authority && again.fragment == url.fragment &&
           http::request_target(again.path) == http::request_target(url.path) &&
           shown.host.find_first_of("/?#") == std::string::npos;
}

}  // namespace fuzz
