#include "response/header_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace response {
namespace {

using namespace std::string_literals;

// The scan must not depend on how the response is cut into pieces.
ScanResult scan_in_pieces(const std::string& response, std::size_t piece) {
    HeaderScanner scanner;
    for (std::size_t at = 0; at < response.size(); at += piece) {
        if (scanner.feed(std::string_view(response).substr(at, piece))) break;
    }
    return scanner.finish();
}

void expect_scan(const std::string& response, ScanOutcome outcome, std::int64_t position,
                 const std::string& location_value = "") {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, response.size() + 1}) {
        const ScanResult result = scan_in_pieces(response, piece);
        EXPECT_EQ(result.outcome, outcome) << "pieces of " << piece;
        EXPECT_EQ(result.position, position) << "pieces of " << piece;
        EXPECT_EQ(result.location_value, location_value) << "pieces of " << piece;
        EXPECT_EQ(result.body_start, position + 4) << "pieces of " << piece;
    }
}

TEST(HeaderScan, EndMarkStopsAtTheCrEndingTheLastHeaderLine) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
    expect_scan(head + "\r\n<html>", ScanOutcome::end_of_header,
                static_cast<std::int64_t>(head.size()) - 1);
    expect_scan("HTTP/1.0 200 OK\r\n\r\nHello!", ScanOutcome::end_of_header, 16);
}

TEST(HeaderScan, LocationFoundOnTheLastHeaderLineBeforeTheEndMark) {
    // the worked example: the Location test of step 33 comes before its end mark test
    expect_scan("HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", ScanOutcome::location, 33, "/x");
    expect_scan("HTTP/1.0 200 OK\r\nLocation: a b \r\n\r\nbody", ScanOutcome::location, 32, "a b ");
    expect_scan("HTTP/1.0 301\nLocation: /lf\n\nbody", ScanOutcome::location, 27, "/lf");
}

TEST(HeaderScan, OnlyTheExactLocationNameCounts) {
    for (const std::string line :
         {"location: /x", "LOCATION: /x", "Location:/x", "Location:\t/x", " Location: /x"}) {
        const ScanResult result = scan_header("HTTP/1.0 302\r\n" + line + "\r\n\r\n");
        EXPECT_EQ(result.outcome, ScanOutcome::end_of_header) << line;
    }
}

TEST(HeaderScan, LfOnlyHeaderRunsIntoTheBody) {
    // no CR LF CR LF: body lines are read as header lines
    expect_scan("HTTP/1.0 200 OK\nA: b\n\nline\nLocation: /in-body\nmore", ScanOutcome::location,
                46, "/in-body");
    expect_scan("HTTP/1.0 200 OK\nA: b\n\nplain body text", ScanOutcome::end_of_file, 34);
    expect_scan("HTTP/1.0 200 OK\nA: b\n\nbody\r\n\r\nrest", ScanOutcome::end_of_header, 27);
}

TEST(HeaderScan, WithoutEndMarkTheLastThreeBytesAreNeverExamined) {
    expect_scan("abcdefgh", ScanOutcome::end_of_file, 5);
    expect_scan("abcd", ScanOutcome::end_of_file, 1);
    // the LF that would end this Location line lies among the last three bytes
    expect_scan("x\nLocation: /y\nzz", ScanOutcome::end_of_file, 14);
    expect_scan("x\nLocation: /y", ScanOutcome::end_of_file, 11);
}

TEST(HeaderScan, ShortAndEmptyResponsesTakeExactlyOneStep) {
    expect_scan("", ScanOutcome::end_of_file, 1);
    expect_scan("H", ScanOutcome::end_of_file, 1);
    expect_scan("\r\n", ScanOutcome::end_of_file, 1);
    expect_scan("\r\n\r", ScanOutcome::end_of_file, 1);
    expect_scan("\r\n\r\n", ScanOutcome::end_of_header, 1);
}

TEST(HeaderScan, LastModifiedLaterLineWinsAndLocationKeepsAnEarlierOne) {
    EXPECT_EQ(scan_header("HTTP/1.0 200\r\nLast-Modified: Mon, 1 Jan 2001 GMT\r\n"
                          "Last-Modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n\r\n")
                  .last_modified,
              "31 Oct 2006 14:39:28 GMT");
    const ScanResult redirect =
        scan_header("HTTP/1.0 302\r\nLast-Modified: 2 Feb\r\nLocation: /n\r\n\r\n");
    EXPECT_EQ(redirect.outcome, ScanOutcome::location);
    EXPECT_EQ(redirect.last_modified, "2 Feb");
    EXPECT_EQ(scan_header("HTTP/1.0 200\r\nLast-Modified:Tue, 31 Oct\r\n\r\n").last_modified, "");
}

TEST(HeaderScan, ZeroBytesBelongToHeaderLines) {
    const ScanResult result = scan_header("HTTP/1.0 302\r\nLocation: /a\0b\r\n\r\n"s);
    EXPECT_EQ(result.outcome, ScanOutcome::location);
    EXPECT_EQ(result.location_value, "/a\0b"s);
}

TEST(HeaderScan, LongOrdinaryLinesDoNotHideALaterLocation) {
    const std::string response =
        "HTTP/1.0 302\r\nX-Pad: " + std::string(1 << 20, 'p') + "\r\nLocation: /far\r\n\r\n";
    const ScanResult result = scan_header(response);
    EXPECT_EQ(result.outcome, ScanOutcome::location);
    EXPECT_EQ(result.location_value, "/far");
}

TEST(HeaderScan, OverlongLocationAndDateLinesArePassedOver) {
    const std::string longest = "Location: " + std::string(k_max_header_line - 10, 'x');
    EXPECT_EQ(scan_header("HTTP/1.0 302\r\n" + longest + "\r\n\r\n").location_value,
              longest.substr(10));

    const ScanResult over = scan_header("HTTP/1.0 302\r\n" + longest + "y\r\n\r\nbody");
    EXPECT_EQ(over.outcome, ScanOutcome::end_of_header);
    EXPECT_EQ(over.position, static_cast<std::int64_t>(14 + longest.size() + 2));  // its CR

    const std::string date = "Last-Modified: " + std::string(k_max_header_line, 'd');
    EXPECT_EQ(scan_header("HTTP/1.0 200\r\n" + date + "\r\n\r\n").last_modified, "");
}

TEST(LastModified, DateTakenAfterTheCommaOrWholeWithoutOne) {
    EXPECT_EQ(last_modified_date("Last-Modified: Tue, 31 Oct 2006 14:39:28 GMT"),
              "31 Oct 2006 14:39:28 GMT");
    EXPECT_EQ(last_modified_date("Last-Modified: 31 Oct 2006 14:39:28 GMT"),
              "31 Oct 2006 14:39:28 GMT");
    EXPECT_EQ(last_modified_date("Last-Modified:   31 Oct 2006"), "  31 Oct 2006");
    EXPECT_EQ(last_modified_date("Last-Modified: Tue, 31 Oct 2006 GMT   "), "31 Oct 2006 GMT");
    EXPECT_EQ(last_modified_date("Last-Modified: Tue, 31 Oct\0 \0"s), "31 Oct");
    EXPECT_EQ(last_modified_date("Last-Modified: "), "");
    EXPECT_EQ(last_modified_date("Last-Modified: Tue,"), "");
}

}  // namespace
}  // namespace response
