#include "support/text.h"

#include <gtest/gtest.h>

namespace support {
namespace {

using namespace std::string_literals;

TEST(Text, CompareOrdersBytesAsUnsignedAndPrefixesFirst) {
    EXPECT_EQ(compare("\r", "\r"), 0);
    EXPECT_NE(compare("", "\r"), 0);
    EXPECT_LT(compare("ab", "abc"), 0);
    EXPECT_GT(compare("\xff", "a"), 0);  // 255 after 97, not before as a signed char would
    EXPECT_LT(compare("a\0b"s, "a\0c"s), 0);
}

TEST(Text, LeftRightAndMidAtTheirEdges) {
    EXPECT_EQ(left("abc", 0), "");
    EXPECT_EQ(left("abc", -1), "");
    EXPECT_EQ(left("abc", 9), "abc");
    EXPECT_EQ(right("abc", 2), "bc");
    EXPECT_EQ(right("abc", 9), "abc");
    EXPECT_EQ(right("abc", -2), "");

    const std::string s = "a.de/x";
    EXPECT_EQ(mid(s, 0, -1), "");  // p below 1 is not moved into range
    EXPECT_EQ(mid(s, 7, -1), "");  // just past the end
    EXPECT_EQ(mid(s, 6, -1), "x");
    EXPECT_EQ(mid(s, 3, 0), "");
    EXPECT_EQ(mid(s, 3, 100), "de/x");  // cut at the end
    EXPECT_EQ(mid(s, 2, 2), ".d");
    EXPECT_EQ(mid("a\0b"s, 2, 1), "\0"s);  // zero bytes are ordinary bytes
}

TEST(Text, FindStartsAtPositionAndRejectsOutOfRangeStarts) {
    const std::string s = "a.de/x";
    EXPECT_EQ(find(7, s, "/"), 0);  // past the end
    EXPECT_EQ(find(6, s, "/"), 0);  // starts after the "/" at 5
    EXPECT_EQ(find(5, s, "/"), 5);
    EXPECT_EQ(find(1, s, "/"), 5);
    EXPECT_EQ(find(0, s, "/"), 0);
    EXPECT_EQ(find(1, s, ""), 0);
    EXPECT_EQ(find(1, "", "/"), 0);
    EXPECT_EQ(find(1, "ab", "abc"), 0);
    EXPECT_EQ(find(1, "x//y//", "//"), 2);
    EXPECT_EQ(find(3, "x//y//", "//"), 5);
    EXPECT_EQ(find(1, "a\0:80"s, ":80"), 3);
}

TEST(Text, LowerTouchesOnlyAsciiCapitals) {
    EXPECT_EQ(lower("-HeAd @[\xC4Z"), "-head @[\xC4z");
    EXPECT_EQ(lower("A\0B"s), "a\0b"s);
}

TEST(Text, BlanksAndTrims) {
    EXPECT_EQ(blanks(3), "   ");
    EXPECT_EQ(blanks(0), "");
    EXPECT_EQ(blanks(-5), "");
    EXPECT_EQ(trim_end("ab\0 "s), "ab");  // a zero byte and a blank both go
    EXPECT_EQ(trim_end(" ab \0\0"s), " ab");
    EXPECT_EQ(trim_start("\0 ab"s), "\0 ab"s);  // a leading zero byte stays
    EXPECT_EQ(trim_start("  ab "), "ab ");
    EXPECT_EQ(trim(" \ta\r\n "), "\ta\r\n");  // only blanks (and trailing zeros) go
    EXPECT_EQ(trim("    "), "");
    EXPECT_EQ(trim(" \0 "s), "");
}

}  // namespace
}  // namespace support
