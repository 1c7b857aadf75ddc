#pragma once

// What a response's header announces about its length, watched as the bytes arrive, so
// that a response cut short on the way is never taken for a whole one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/method.h"

namespace http {

// Reads the status line and the Content-Length lines of a header that ends at its first
// CR LF CR LF, lines ending at CR or LF as the header scan ends them. Memory stays flat:
// a line longer than k_max_line is passed over.
class LengthCheck {
  public:
    void feed(std::string_view bytes);

    // Why the response is short, in words; none when it is whole as far as can be told.
    // Short is a response of no bytes at all, and a GET response whose status is not 1xx,
    // 204 or 304 with one valid Content-Length (equal repeats allowed) and a body shorter
    // than that. A longer body is whole.
    std::optional<std::string> shortfall(Method method) const;

  private:
    static constexpr std::size_t k_max_line = 1024;  // far more than a status or length line

    void end_line();

    std::int64_t m_total = 0;
    std::int64_t m_body = 0;  // bytes after the end mark
    int m_marked = 0;         // bytes of CR LF CR LF matched so far
    bool m_header_done = false;
    bool m_first_line = true;
    std::string m_line;
    bool m_line_long = false;
    int m_status = 0;                // 0 when the first line is no status line
    std::int64_t m_length = -1;      // -1: none announced
    bool m_length_unusable = false;  // a value that is no number, or two that differ
};

}  // namespace http
