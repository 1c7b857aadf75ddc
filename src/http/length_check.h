#pragma once

// What a response's header announces about its length, watched as the bytes arrive, so
// that a response cut short on the way is never taken for a whole one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/method.h"

namespace http {

// Reads the status line and the Content-Length lines (the name in any case) of a header that
// ends at its first CR LF CR LF, lines ending at CR or LF as the header scan ends them. A
// value is read exactly whatever its length: blanks (space, tab) around it and leading zeros
// however many; one past 2^63-1 is no length. Memory stays flat: only the first k_max_line
// bytes of the status line are kept.
class LengthCheck {
  public:
    void feed(std::string_view bytes);

    // Whether feed still looks at the bytes: until the header's end mark has come. After
    // that, count_body does the same work without them.
    bool needs_bytes() const { return !m_header_done; }
    // Counts `count` bytes that came after the header's end mark, unseen; only once
    // needs_bytes() is false.
    void count_body(std::int64_t count) {
        m_total += count;
        m_body += count;
    }

    // Why the response is short, in words; none when it is whole as far as can be told.
    // Short is a response of no bytes at all, and a GET response whose status is not 1xx,
    // 204 or 304 with one valid Content-Length (equal repeats allowed) and a body shorter
    // than that. A longer body is whole.
    std::optional<std::string> shortfall(Method method) const;

  private:
    static constexpr std::size_t k_max_line = 1024;  // far more than a status line

    // Where the current line stands: the status line, a name that may still turn out to be
    // Content-Length, its value, or a line of no interest.
    enum class Line { status, name, value, other };
    // How far a Content-Length value has come; broken by any other byte, or past 2^63-1.
    enum class Value { before, digits, after, broken };

    void take(char c);
    void end_line();

    std::int64_t m_total = 0;
    std::int64_t m_body = 0;  // bytes after the end mark
    int m_marked = 0;         // bytes of CR LF CR LF matched so far
    bool m_header_done = false;
    Line m_line = Line::status;
    std::string m_status_line;
    std::size_t m_name_matched = 0;  // bytes of "content-length:" matched on this line
    Value m_value_at = Value::before;
    std::int64_t m_value = 0;
    int m_status = 0;                // 0 when the first line is no status line
    std::int64_t m_length = -1;      // -1: none announced
    bool m_length_unusable = false;  // a value that is no number or too large, or two that differ
};

}  // namespace http
