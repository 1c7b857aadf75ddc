#include "support/console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <limits>

#include "harness/temp_dir.h"
#include "support/fd.h"
#include "support/file.h"

namespace support {
namespace {

using namespace std::string_literals;

TEST(Console, NumberFormatsLeadWithABlankOnlyWhenNotNegative) {
    EXPECT_EQ(format_number(0), " 0");
    EXPECT_EQ(format_number(513), " 513");
    EXPECT_EQ(format_number(-4), "-4");
    EXPECT_EQ(format_number(std::numeric_limits<std::int32_t>::min()), "-2147483648");
    // counts past 4 GiB do not wrap
    EXPECT_EQ(format_number(std::int64_t{5} << 30), " 5368709120");
    EXPECT_EQ(format_unsigned(std::uint64_t{1} << 32), "4294967296");
    EXPECT_EQ(format_unsigned(0), "0");
}

TEST(Console, TerminalOutputShowsControlBytesInCaretNotation) {
    EXPECT_EQ(neutralise_controls("a\x1b[2J\0\x7f"s), "a^[[2J^@^?");
    EXPECT_EQ(neutralise_controls("\r\n\t\b\a"), "\r\n\t\b\a");
    EXPECT_EQ(neutralise_controls("\x01\x1f \xc3\xa9"), "^A^_ \xc3\xa9");
}

TEST(Console, RedirectedOutputGetsExactlyTheBytes) {
    harness::TempDir dir;
    const Fd file = open_truncated(dir.file("out"));
    const Console redirected{file.get(), false};
    print(redirected, "a\x1b\0"s);
    print_line(redirected, "b");
    print_line(redirected);
    EXPECT_EQ(dir.read("out"), "a\x1b\0b\r\n\r\n"s);

    const Fd shown = open_truncated(dir.file("shown"));
    print_line(Console{shown.get(), true}, "\x1b]0;title\a");
    EXPECT_EQ(dir.read("shown"), "^[]0;title\a\r\n");
}

}  // namespace
}  // namespace support
