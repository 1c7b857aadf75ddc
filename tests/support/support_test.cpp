#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <tuple>

#include "support/background_copy.h"
#include "support/console.h"
#include "support/file.h"
#include "support/text.h"

namespace support {
namespace {

using namespace std::string_literals;

// Positions count from 1; a start or a length out of range gives nothing, never a near byte.
TEST(Text, PositionsAndLengthsAtTheirEdges) {
    const std::string s = "a.de/x";
    EXPECT_EQ(mid(s, 2, 2), ".d");
    EXPECT_EQ(mid(s, 6), "x");
    EXPECT_EQ(mid(s, 7), "");
    EXPECT_EQ(mid(s, 0), "");
    EXPECT_EQ(mid(s, 3, 100), "de/x");
    EXPECT_EQ(left(s, -1), "");
    EXPECT_EQ(right(s, 2), "/x");
    EXPECT_EQ(right(s, 9), s);
    const std::tuple<std::int64_t, std::string, std::string, std::int64_t> finds[] = {
        {1, s, "/", 5}, {5, s, "/", 5},         {6, s, "/", 0},
        {6, s, "x", 6}, {7, s, "x", 0},         {0, s, "/", 0},
        {1, s, "", 0},  {3, "x//y//", "//", 5}, {1, "a\0:80"s, ":80", 3},
    };
    for (const auto& [p, text, pattern, at] : finds) {
        EXPECT_EQ(find(p, text, pattern), at) << p << " " << text << " " << pattern;
    }
    EXPECT_GT(compare("\xff", "a"), 0);  // bytes compare unsigned
}

TEST(Text, LowerAndTrimTouchOnlyTheirBytes) {
    EXPECT_EQ(lower("-HeAd @[\xC4Z\0"s), "-head @[\xC4z\0"s);
    EXPECT_EQ(trim_end("ab\0 \0"s), "ab");      // zero bytes and blanks both go at the end
    EXPECT_EQ(trim_start("\0 ab"s), "\0 ab"s);  // but a leading zero byte stays
    EXPECT_EQ(trim(" \tab\r "), "\tab\r");
    EXPECT_EQ(blanks(-5), "");
}

TEST(Console, NumbersLeadWithABlankUnlessNegativeAndDoNotWrapPastFourGigabytes) {
    EXPECT_EQ(format_number(0), " 0");
    EXPECT_EQ(format_number(-4), "-4");
    EXPECT_EQ(format_number(std::numeric_limits<std::int32_t>::min()), "-2147483648");
    EXPECT_EQ(format_number(std::int64_t{5} << 30), " 5368709120");
    EXPECT_EQ(format_unsigned(std::uint64_t{1} << 32), "4294967296");
}

TEST(Console, ControlBytesShowInCaretNotationExceptLineAndBellBytes) {
    EXPECT_EQ(neutralise_controls("a\x1b[2J\0\x7f"s), "a^[[2J^@^?");
    EXPECT_EQ(neutralise_controls("\r\n\t\b\a"), "\r\n\t\b\a");
    EXPECT_EQ(neutralise_controls("\x01\x1f \xc3\xa9"), "^A^_ \xc3\xa9");
}

TEST(File, ACopyThatRunsPastTheEndOfItsSourceFails) {
    std::FILE* from = std::tmpfile();
    std::FILE* to = std::tmpfile();
    ASSERT_TRUE(from && to);
    std::fputs("0123456789", from);
    std::fflush(from);
    EXPECT_EQ(copy_range(fileno(from), 5, fileno(to), 5), 0);
    EXPECT_EQ(copy_range(fileno(from), 5, fileno(to), 6), EIO);
    BackgroundCopy beside(fileno(from), fileno(to), 11);  // from offset 0: one byte short
    EXPECT_EQ(beside.wait(), EIO);
    // a pipe takes no kernel copy: the buffered copy must fail the same way
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    EXPECT_EQ(copy_range(fileno(from), 5, pipe_ends[1], 6), EIO);
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    std::fclose(from);
    std::fclose(to);
}

}  // namespace
}  // namespace support
