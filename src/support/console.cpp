#include "support/console.h"

#include <unistd.h>

#include "support/file.h"

namespace support {

namespace {

bool is_passed_control(unsigned char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == '\b' || c == '\a';
}

}  // namespace

Console standard_console() { return Console{1, ::isatty(1) == 1}; }

void print(const Console& console, std::string_view bytes) {
    // a console that has gone (a closed pipe) takes nothing more; the run goes on
    if (console.terminal) {
        (void)write_all(console.fd, neutralise_controls(bytes));
    } else {
        (void)write_all(console.fd, bytes);
    }
}

void print_line(const Console& console, std::string_view bytes) {
    std::string line;
    line.reserve(bytes.size() + 2);
    line.append(bytes).append("\r\n");
    print(console, line);
}

std::string format_number(std::int64_t value) {
    std::string text = std::to_string(value);
    if (value >= 0) text.insert(text.begin(), ' ');
    return text;
}

std::string format_unsigned(std::uint64_t value) { return std::to_string(value); }

std::string neutralise_controls(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 32 && !is_passed_control(c)) || c == 127) {
            out += '^';
            out += static_cast<char>(c ^ 0x40);
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace support
