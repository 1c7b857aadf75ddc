#pragma once

// Console output: every piece goes to its descriptor at once, unbuffered, so console lines
// and file actions keep the order of the steps.

#include <cstdint>
#include <string>
#include <string_view>

namespace support {

struct Console {
    int fd = 1;
    // A terminal gets control bytes in caret notation so a server cannot drive it;
    // a file or pipe gets exactly the bytes.
    bool terminal = false;
};

// Standard output, with terminal set when it is one.
Console standard_console();

// Writes bytes as they are, or neutralised on a terminal. A write error is dropped:
// there is nowhere left to report it.
void print(const Console& console, std::string_view bytes);

// bytes, then CR LF.
void print_line(const Console& console, std::string_view bytes = {});

// Decimal with one leading blank when not negative: " 0", " 42", "-4".
std::string format_number(std::int64_t value);

// Decimal with no leading blank.
std::string format_unsigned(std::uint64_t value);

// Bytes below 32 other than CR, LF, TAB, BS and BEL, and byte 127, in caret notation
// (ESC as ^[, the zero byte as ^@, 127 as ^?); every other byte unchanged.
std::string neutralise_controls(std::string_view bytes);

}  // namespace support
