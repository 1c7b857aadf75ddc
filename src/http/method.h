#pragma once

// The request method, fixed for a run by its command line.

#include <string_view>

namespace http {

enum class Method { get, head };

// "GET" or "HEAD".
constexpr std::string_view method_text(Method method) {
    return method == Method::head ? "HEAD" : "GET";
}

}  // namespace http
