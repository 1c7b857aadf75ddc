#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <tuple>

#include "response/body.h"
#include "response/header_scan.h"

namespace response {
namespace {

using namespace std::string_literals;
using enum ScanOutcome;

// The scan walks byte by byte with a window of four, and must not depend on how the
// response arrives: every row is fed in pieces of 1, of 3 and whole.
TEST(HeaderScan, OutcomePositionAndLocationHoweverTheResponseIsCut) {
    // response, outcome, position (1-based: the CR of the end mark, the end of the Location
    // line, or the last step before the end), Location value
    const std::tuple<std::string, ScanOutcome, std::int64_t, std::string> cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>", end_of_header, 41, ""},
        {"HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", location, 33, "/x"},
        {"HTTP/1.0 200 OK\r\nLocation: a b \r\n\r\nbody", location, 32, "a b "},
        {"HTTP/1.0 301\nLocation: /lf\n\nbody", location, 27, "/lf"},
        {"HTTP/1.0 302\r\nLocation: /a\0b\r\n\r\n"s, location, 29, "/a\0b"s},
        // the name in any case, but with its one blank, at the start of the line
        {"HTTP/1.0 302\r\nlocation: /x\r\n\r\n", location, 27, "/x"},
        {"HTTP/1.0 302\r\nLoCATion:  /X\r\n\r\n", location, 28, " /X"},
        {"HTTP/1.0 302\r\nlocation:/x\r\n\r\n", end_of_header, 26, ""},
        {"HTTP/1.0 302\r\nLocation:\t/x\r\n\r\n", end_of_header, 27, ""},
        {"HTTP/1.0 302\r\nLocations: /x\r\n\r\n", end_of_header, 28, ""},
        {"HTTP/1.0 302\r\n Location: /x\r\n\r\n", end_of_header, 28, ""},
        // without CR LF CR LF the body is read as header lines
        {"HTTP/1.0 200 OK\nA: b\n\nline\nLocation: /in-body\nmore", location, 46, "/in-body"},
        {"HTTP/1.0 200 OK\nA: b\n\nbody\r\n\r\nrest", end_of_header, 27, ""},
        // the last three bytes are never examined, and there is always one step
        {"HTTP/1.0 200 OK\nA: b\n\nplain body text", end_of_file, 34, ""},
        {"x\nLocation: /y\nzz", end_of_file, 14, ""},
        {"abcd", end_of_file, 1, ""},
        {"", end_of_file, 1, ""},
        {"\r\n\r", end_of_file, 1, ""},
        {"\r\n\r\n", end_of_header, 1, ""},
    };
    for (const auto& [response, outcome, position, location] : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, response.size() + 1}) {
            HeaderScanner scanner;
            for (std::size_t at = 0; at < response.size(); at += piece) {
                if (scanner.feed(std::string_view(response).substr(at, piece))) break;
            }
            const ScanResult result = scanner.result();
            const std::string what = '"' + response + "\" in pieces of " + std::to_string(piece);
            EXPECT_EQ(result.outcome, outcome) << what;
            EXPECT_EQ(result.position, position) << what;
            EXPECT_EQ(result.body_start, position + 4) << what;
            EXPECT_EQ(result.location_value, location) << what;
        }
    }
}

TEST(HeaderScan, LinesPastTheLimitArePassedOverButHideNothingAfterThem) {
    const std::string pad = "X-Pad: " + std::string(1 << 20, 'p') + "\r\n";
    EXPECT_EQ(scan_header("HTTP/1.0 302\r\n" + pad + "Location: /far\r\n\r\n").location_value,
              "/far");
    const std::string longest = "Location: " + std::string(k_max_header_line - 10, 'x');
    EXPECT_EQ(scan_header("HTTP/1.0 302\r\n" + longest + "\r\n\r\n").location_value,
              longest.substr(10));
    EXPECT_EQ(scan_header("HTTP/1.0 302\r\n" + longest + "y\r\n\r\n").outcome, end_of_header);
    const std::string date = "Last-Modified: " + std::string(k_max_header_line, 'd');
    EXPECT_EQ(scan_header("HTTP/1.0 200\r\n" + date + "\r\n\r\n").last_modified, "");
}

TEST(HeaderScan, TheLastDateLineBeforeTheStopCounts) {
    EXPECT_EQ(scan_header("HTTP/1.0 200\r\nLast-Modified: Mon, 1 Jan 2001\r\n"
                          "Last-Modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n\r\n")
                  .last_modified,
              "31 Oct 2006 14:39:28 GMT");
    EXPECT_EQ(
        scan_header("HTTP/1.0 200\r\nlast-modified: Mon, 1 Jan\r\nlast-modified:2 Feb\r\n\r\n")
            .last_modified,
        "1 Jan");
    EXPECT_EQ(scan_header("HTTP/1.0 302\r\nLast-Modified: 2 Feb\r\nLocation: /n\r\n"
                          "Last-Modified: 3 Mar\r\n\r\n")
                  .last_modified,
              "2 Feb");
    const std::pair<std::string, std::string> dates[] = {
        {"Last-Modified: 31 Oct 2006", "31 Oct 2006"},
        {"Last-Modified:   31 Oct", "  31 Oct"},
        {"Last-Modified: Tue, 31 Oct\0 \0"s, "31 Oct"},
        {"Last-Modified: Tue,", ""},
    };
    for (const auto& [line, date] : dates) EXPECT_EQ(last_modified_date(line), date) << line;
}

// Offsets and lengths past 4 GiB: a sparse response file of 5 GiB, its body at the end.
TEST(Body, LengthsAndOffsetsPastFourGigabytes) {
    const std::int64_t length = std::int64_t{5} << 30;
    EXPECT_EQ(data_log_lines(length - 14, length - 10, length),
              (std::vector<std::string>{"", "", "Start of data:  5368709106",
                                        "File length: 5368709120", "Data length:  11"}));
    std::FILE* response = std::tmpfile();
    std::FILE* output = std::tmpfile();
    ASSERT_TRUE(response && output);
    ASSERT_EQ(::pwrite(fileno(response), "\r\n\r\n0123456789A", 15, length - 15), 15);
    ASSERT_FALSE(write_body(fileno(response), length - 10, length, fileno(output), "out"));
    char body[16] = {};
    EXPECT_EQ(::pread(fileno(output), body, sizeof body, 0), 11);
    EXPECT_STREQ(body, "0123456789A");
    std::fclose(response);
    std::fclose(output);
}

}  // namespace
}  // namespace response
