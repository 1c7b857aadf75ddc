#pragma once

// Byte strings with 1-based positions. Any byte may stand in a text, the zero byte
// included; lengths and positions are 64-bit so responses beyond 4 GiB count right.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace support {

// Negative, zero or positive as a orders before, equal to or after b, bytes compared as
// unsigned values; a proper prefix orders first.
int compare(std::string_view a, std::string_view b);

// The first n bytes; n <= 0 gives the empty text, n past the length gives all of s.
std::string_view left(std::string_view s, std::int64_t n);

// The last n bytes; n <= 0 gives the empty text, n past the length gives all of s.
std::string_view right(std::string_view s, std::int64_t n);

// At most n bytes from position p; n < 0 means up to the end. Empty when n is 0, or when
// p < 1 or p is past the end (p is never moved into range).
std::string_view mid(std::string_view s, std::int64_t p, std::int64_t n = -1);

// 1-based position of the leftmost pattern starting at or after p; 0 when absent, when
// pattern or s is empty, when pattern is longer than s, or when p lies outside 1..length.
std::int64_t find(std::int64_t p, std::string_view s, std::string_view pattern);

// The number that `digits` writes in decimal: digits only, at least one, at most `max`;
// none otherwise.
std::optional<std::uint64_t> decimal(std::string_view digits, std::uint64_t max);

// A to Z become a to z; every other byte, 128 to 255 included, stays.
char lower(char c);
std::string lower(std::string_view s);

// n blanks; n <= 0 gives the empty text.
std::string blanks(std::int64_t n);

// Without leading blanks (byte 32 only; a leading zero byte stays).
std::string_view trim_start(std::string_view s);

// Without trailing blanks and zero bytes.
std::string_view trim_end(std::string_view s);

// Both trims; tabs, CR, LF and every other byte stay.
std::string_view trim(std::string_view s);

}  // namespace support
