#include "http/length_check.h"

#include "support/console.h"
#include "support/text.h"

namespace http {

namespace {

constexpr std::string_view k_end_mark = "\r\n\r\n";
constexpr std::string_view k_content_length = "content-length:";
constexpr std::int64_t k_max_digits = 18;  // beyond any file, and no overflow

std::string_view trim_whitespace(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The number of a Content-Length value: digits only; -1 otherwise.
std::int64_t length_value(std::string_view text) {
    text = trim_whitespace(text);
    if (text.empty() || static_cast<std::int64_t>(text.size()) > k_max_digits) return -1;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

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
        } else if (m_line.size() < k_max_line) {
            m_line += c;
        } else {
            m_line_long = true;
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

void LengthCheck::end_line() {
    const std::string_view line = m_line;
    if (m_first_line) {
        m_status = status_code(line);
        m_first_line = false;
    } else if (!m_line_long &&
               support::lower(support::left(line, k_content_length.size())) == k_content_length) {
        const std::int64_t value = length_value(line.substr(k_content_length.size()));
        if (value < 0 || (m_length >= 0 && value != m_length)) m_length_unusable = true;
        m_length = value;
    }
    m_line.clear();
    m_line_long = false;
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
