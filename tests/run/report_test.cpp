#include "run/report.h"

#include <gtest/gtest.h>

namespace run {
namespace {

TEST(Report, BannerLinesAreSeventyFourWideBetweenEmptyLines) {
    const auto lines = banner_lines(k_version);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines.front(), "");
    EXPECT_EQ(lines.back(), "");
    for (std::size_t i = 1; i < 7; ++i) {
        EXPECT_EQ(lines[i].size(), 74u) << lines[i];
        EXPECT_EQ(lines[i].back(), '#') << lines[i];
    }
    EXPECT_EQ(lines[1], std::string(74, '#'));
    EXPECT_EQ(lines[2],
              "# Pageglean. Downloading webpage sources into a file.                    #");
    EXPECT_EQ(lines[3].substr(0, 25).substr(0, 2), "# ");
    EXPECT_EQ(lines[3].substr(17, 8), "Version ");
    EXPECT_EQ(lines[3].substr(25, 19), "1.32 - 2006 Okt. 31");
    EXPECT_EQ(lines[4].substr(0, 11), "# See also ");
    EXPECT_EQ(lines[5],
              "# Usage: pageglean.exe [-head] URL [filename]                            #");
}

TEST(Report, FailureLinesPutTheNumberFormatsBlankAfterTheColon) {
    using support::Problem;
    EXPECT_EQ(failure_lines({Problem::connect, 111, {}}),
              (std::vector<std::string>{"Socket error. Connection to internet has a problem.",
                                        "Error: 111 Calling: connect()"}));
    EXPECT_EQ(failure_lines({Problem::socket, 24, {}})[1], "Error: 24 Calling: socket()");
    EXPECT_EQ(failure_lines({Problem::send, 32, {}}),
              (std::vector<std::string>{"Send problem.", "Error: 32 Calling: send()"}));
    EXPECT_EQ(failure_lines({Problem::receive, 104, {}}),
              (std::vector<std::string>{"Receive problem.", "Error: 104 Calling: recv()"}));
    EXPECT_EQ(failure_lines({Problem::resolve, 0, "a.example:81"}),
              (std::vector<std::string>{"No connection to host available.",
                                        "Error: ResolveHost: 'a.example:81'."}));
    EXPECT_EQ(failure_lines({Problem::file, 2, "no/dir/out.html"}),
              (std::vector<std::string>{"File problem.", "Error: 2 Writing: 'no/dir/out.html'."}));
}

}  // namespace
}  // namespace run
