#include "http/length_check.h"

#include <limits>

#include "support/console.h"
#include "support/text.h"

namespace http {

namespace {

constexpr std::string_view k_end_mark = "\r\n\r\n";
constexpr std::string_view k_content_length = "content-length:";

bool is_blank(char c) { return c == ' ' || c == '\t'; }


// The code of a status line "HTTP/x.y NNN ..."; 0 when it is none.
int status_code(std::string_view line) {
    if (!line.starts_with("HTTP/")) return 0;
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || line.size() < blank + 4) return 0;
    int code = 0;
    for (std::size_t i = blank + 1; i < blank + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

}  // namespace

void LengthCheck::feed(std::string_view bytes) {
    m_total += static_cast<std::int64_t>(bytes.size());
    if (m_header_done) {
        m_body += static_cast<std::int64_t>(bytes.size());
        return;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            end_line();
        } else {
            take(c);
        }
        // the same end mark as the header scan's: CR LF CR LF, wherever it starts
        if (c == k_end_mark[static_cast<std::size_t>(m_marked)]) {
            ++m_marked;
        } else {
            m_marked = c == '\r' ? 1 : 0;
        }
        if (m_marked == static_cast<int>(k_end_mark.size())) {
            m_header_done = true;
            m_body = static_cast<std::int64_t>(bytes.size() - i - 1);
            return;
        }
    }
}

void LengthCheck::take(char c) {
    switch (m_line) {
        case Line::status:
            if (m_status_line.size() < k_max_line) m_status_line += c;
            return;
        case Line::name:
            if (support::lower(c) != k_content_length[m_name_matched]) {
                m_line = Line::other;
            } else if (++m_name_matched == k_content_length.size()) {
                m_line = Line::value;
            }
            return;
        case Line::value:
            break;
        case Line::other:
            return;
    }
    // the value: blanks, digits, blanks; the number is kept whole up to 2^63-1
    if (m_value_at == Value::broken) return;
    if (is_blank(c)) {
        if (m_value_at == Value::digits) m_value_at = Value::after;
    } else if (c < '0' || c > '9' || m_value_at == Value::after) {
        m_value_at = Value::broken;
    } else if (const int digit = c - '0';
               m_value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
        m_value_at = Value::broken;
    } else {
        m_value = m_value * 10 + digit;
        m_value_at = Value::digits;
    }
}

void LengthCheck::end_line() {
    if (m_line == Line::status) {
        m_status = status_code(m_status_line);
    } else if (m_line == Line::value) {
        const bool number = m_value_at == Value::digits || m_value_at == Value::after;
        if (!number || (m_length >= 0 && m_value != m_length)) m_length_unusable = true;
        m_length = number ? m_value : -1;
    }
    m_line = Line::name;
    m_name_matched = 0;
    m_value_at = Value::before;
    m_value = 0;
}

std::optional<std::string> LengthCheck::shortfall(Method method) const {
    if (m_total == 0) return "the server closed without a response";
    const bool bodiless = (m_status >= 100 && m_status < 200) || m_status == 204 || m_status == 304;
    if (method != Method::get || !m_header_done || m_status == 0 || bodiless || m_length_unusable ||
        m_length < 0 || m_body >= m_length) {
        return std::nullopt;
    }
    return support::format_unsigned(static_cast<std::uint64_t>(m_body)) + " of " +
           support::format_unsigned(static_cast<std::uint64_t>(m_length)) +
           " announced body bytes arrived";
}

}  // namespace http
