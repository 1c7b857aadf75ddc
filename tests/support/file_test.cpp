#include "support/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "harness/temp_dir.h"

namespace support {
namespace {

using namespace std::string_literals;

TEST(File, OpeningInAMissingDirectoryFailsWithItsErrno) {
    harness::TempDir dir;
    errno = 0;
    const Fd file = open_truncated(dir.file("missing/out"));
    EXPECT_FALSE(file);
    EXPECT_EQ(errno, ENOENT);
}

TEST(File, ShortReadPadsWithZeroBytesAndCountsWhatWasRead) {
    harness::TempDir dir;
    dir.write("two", "ab");
    const Fd file = Fd(::open(dir.file("two").c_str(), O_RDONLY | O_CLOEXEC));
    std::array<char, 4> window{'x', 'x', 'x', 'x'};
    EXPECT_EQ(read_at(file.get(), 0, window), 2);
    EXPECT_EQ(std::string(window.data(), 4), "ab\0\0"s);
    EXPECT_EQ(read_at(file.get(), 9, window), 0);
    EXPECT_EQ(std::string(window.data(), 4), "\0\0\0\0"s);
}

TEST(File, PositionedWritesOverwriteAndGrowAndLengthSeesThemAtOnce) {
    harness::TempDir dir;
    const Fd file = open_truncated(dir.file("f"));
    ASSERT_EQ(write_at(file.get(), 0, "0123456789"), 0);
    ASSERT_EQ(write_at(file.get(), 4, "ab\0"s), 0);
    EXPECT_EQ(length_of(file.get()), 10);
    ASSERT_EQ(write_at(file.get(), 12, "z"), 0);
    EXPECT_EQ(length_of(file.get()), 13);
    EXPECT_EQ(dir.read("f"),
              "0123ab\0"
              "789\0\0z"s);
}

TEST(File, WriteLineEndsWithCrLfAndRemoveIgnoresAMissingFile) {
    harness::TempDir dir;
    {
        const Fd file = open_truncated(dir.file("line"));
        ASSERT_EQ(write_line(file.get(), "31 Oct 2006"), 0);
    }
    EXPECT_EQ(dir.read("line"), "31 Oct 2006\r\n");
    remove_file(dir.file("line"));
    remove_file(dir.file("line"));
    EXPECT_FALSE(dir.exists("line"));
}

TEST(File, CopyRangeCopiesExactlyTheCountedBytesToFilesAndDevices) {
    harness::TempDir dir;
    std::string source(200'000, '\0');
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i * 7);
    dir.write("source", source);
    const Fd from = Fd(::open(dir.file("source").c_str(), O_RDONLY | O_CLOEXEC));
    {
        const Fd to = open_truncated(dir.file("copy"));
        ASSERT_EQ(copy_range(from.get(), 3, to.get(), 150'000), 0);
    }
    EXPECT_EQ(dir.read("copy"), source.substr(3, 150'000));

    const Fd null = open_truncated("/dev/null");
    EXPECT_EQ(copy_range(from.get(), 0, null.get(), 100'000), 0);
    const Fd full = open_truncated("/dev/full");
    EXPECT_EQ(copy_range(from.get(), 0, full.get(), 100), ENOSPC);
    const Fd short_copy = open_truncated(dir.file("short"));
    EXPECT_EQ(copy_range(from.get(), 199'990, short_copy.get(), 20), EIO);
}

}  // namespace
}  // namespace support
