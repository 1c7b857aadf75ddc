#include "support/text.h"

#include <algorithm>

namespace support {

int compare(std::string_view a, std::string_view b) {
    // string_view compares through char_traits<char>, whose lt works on unsigned char
    const int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

std::string_view left(std::string_view s, std::int64_t n) {
    if (n <= 0) return {};
    return s.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(n, s.size())));
}

std::string_view right(std::string_view s, std::int64_t n) {
    if (n <= 0) return {};
    const auto keep = static_cast<std::size_t>(std::min<std::int64_t>(n, s.size()));
    return s.substr(s.size() - keep);
}

std::string_view mid(std::string_view s, std::int64_t p, std::int64_t n) {
    const auto length = static_cast<std::int64_t>(s.size());
    if (p < 1 || p > length || n == 0) return {};
    const std::int64_t available = length - p + 1;
    const std::int64_t take = n < 0 ? available : std::min(n, available);
    return s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(take));
}

std::int64_t find(std::int64_t p, std::string_view s, std::string_view pattern) {
    const auto length = static_cast<std::int64_t>(s.size());
    if (pattern.empty() || s.empty() || pattern.size() > s.size() || p < 1 || p > length) {
        return 0;
    }
    const auto at = s.find(pattern, static_cast<std::size_t>(p - 1));
    return at == std::string_view::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::optional<std::uint64_t> decimal(std::string_view digits, std::uint64_t max) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        // past `max` is told before the value could wrap
        if (digit > max || value > (max - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

std::string blanks(std::int64_t n) {
    return n <= 0 ? std::string() : std::string(static_cast<std::size_t>(n), ' ');
}

std::string_view trim_start(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

std::string_view trim_end(std::string_view s) {
    const auto last = s.find_last_not_of(std::string_view(" \0", 2));
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

std::string_view trim(std::string_view s) { return trim_start(trim_end(s)); }

}  // namespace support
