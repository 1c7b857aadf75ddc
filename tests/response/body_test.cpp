#include "response/body.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness/temp_dir.h"
#include "response/response_file.h"
#include "support/file.h"

namespace response {
namespace {

using namespace std::string_literals;

TEST(Body, BodyLengthAtTheEndMarkWithoutItAndForShortResponses) {
    EXPECT_EQ(body_length(20, 25), 6);  // HTTP/1.0 200 OK, CR LF CR LF, Hello!
    EXPECT_EQ(body_length(20, 19), 0);  // the end mark is the last four bytes
    EXPECT_EQ(body_length(11, 10), 0);  // no end mark: scan stopped at L - 3
    EXPECT_EQ(body_length(5, 0), -4);
    EXPECT_EQ(body_length(5, 2), -2);
    const std::int64_t huge = std::int64_t{5} << 30;
    EXPECT_EQ(body_length(104, huge), huge - 103);
}

TEST(Body, DataLogLines) {
    EXPECT_EQ(data_log_lines(16, 20, 25),
              (std::vector<std::string>{"", "", "Start of data:  16", "File length: 25",
                                        "Data length:  6"}));
    EXPECT_EQ(data_log_lines(1, 5, 0).back(), "Data length: -4");
    EXPECT_EQ(data_log_lines(1, 5, std::int64_t{6} << 30)[3], "File length: 6442450944");
}

TEST(Body, ResponseFileHoldsExactlyTheReceivedBytesNotTheFiller) {
    harness::TempDir dir;
    dir.write("spool", "HTTP/1.0 200 OK\r\n\r\nbody\0filler-filler"s);
    dir.write("response", "an older, longer response from an earlier hop");
    const support::Fd spool = support::Fd(::open(dir.file("spool").c_str(), O_RDONLY | O_CLOEXEC));
    support::Fd file;
    ASSERT_FALSE(make_response_file(spool.get(), 23, dir.file("response"), file));
    EXPECT_EQ(dir.read("response"), "HTTP/1.0 200 OK\r\n\r\nbody");

    ScanResult scan;
    ASSERT_FALSE(scan_response_file(file.get(), 23, "response", scan));
    EXPECT_EQ(scan.position, 16);
    const support::Fd out = support::open_truncated(dir.file("out"));
    ASSERT_FALSE(write_body(file.get(), scan.body_start, 23, out.get(), "out"));
    EXPECT_EQ(dir.read("out"), "body");
}

TEST(Body, BinaryBodyWithZeroBytesAndAnEndMarkInsidePassesWhole) {
    harness::TempDir dir;
    std::string body;
    for (int i = 0; i < 70'000; ++i) body += static_cast<char>(i % 256);
    body += "\r\n\r\nafter";
    const std::string response = "HTTP/1.0 200 OK\r\n\r\n" + body;
    dir.write("response", response);
    const support::Fd file =
        support::Fd(::open(dir.file("response").c_str(), O_RDONLY | O_CLOEXEC));
    const auto length = static_cast<std::int64_t>(response.size());
    ScanResult scan;
    ASSERT_FALSE(scan_response_file(file.get(), length, "response", scan));
    const support::Fd out = support::open_truncated(dir.file("out"));
    ASSERT_FALSE(write_body(file.get(), scan.body_start, length, out.get(), "out"));
    EXPECT_EQ(dir.read("out"), body);
}

TEST(Body, SideFileHoldsTheValueAndCrLfOrIsRemovedWhenEmpty) {
    harness::TempDir dir;
    dir.write("side", "stale value that is longer\r\n");
    ASSERT_FALSE(write_side_file(dir.file("side"), "31 Oct 2006 14:39:28 GMT"));
    EXPECT_EQ(dir.read("side"), "31 Oct 2006 14:39:28 GMT\r\n");
    ASSERT_FALSE(write_side_file(dir.file("side"), ""));
    EXPECT_FALSE(dir.exists("side"));
}

TEST(Body, UnwritableOutputsAreFailuresWithTheirNames) {
    harness::TempDir dir;
    const auto missing = write_side_file(dir.file("no/dir"), "value");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->err, ENOENT);
    EXPECT_EQ(missing->name, dir.file("no/dir"));

    dir.write("response", "HTTP/1.0 200 OK\r\n\r\nbody");
    const support::Fd file =
        support::Fd(::open(dir.file("response").c_str(), O_RDONLY | O_CLOEXEC));
    const support::Fd full = support::open_truncated("/dev/full");
    const auto failure = write_body(file.get(), 20, 23, full.get(), "/dev/full");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->what, support::Problem::file);
    EXPECT_EQ(failure->err, ENOSPC);
}

}  // namespace
}  // namespace response
