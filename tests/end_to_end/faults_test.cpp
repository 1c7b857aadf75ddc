// The real binary against peers and places that make trouble.

#include <gtest/gtest.h>

#include <regex>

#include "harness/network.h"
#include "harness/process.h"
#include "harness/script_server.h"
#include "harness/spool_model.h"
#include "harness/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using harness::Input;
using harness::Reply;
using harness::ScriptServer;

class Faults : public testing::Test {
  protected:
    void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
    harness::TempDir dir;
};

// The chunk sizes as the step lines of a loud run report them.
std::vector<std::size_t> reported_chunks(const std::string& out) {
    std::vector<std::size_t> sizes;
    const std::regex step(R"((\d+)\. step:  (\d+) of  (\d+)\r\n)");
    for (std::sregex_iterator it(out.begin(), out.end(), step), end; it != end; ++it) {
        sizes.push_back(std::stoul((*it)[2]));
    }
    return sizes;
}

TEST_F(Faults, DrippingServerGivesTheSpoolOfTheChunksItWasReceivedIn) {
    std::vector<std::string> drips{"HTTP/1.0 200 OK\r\n\r\n"};
    std::string body;
    for (int i = 0; i < 10'000; ++i) {
        body += static_cast<char>('0' + i % 10);
        drips.emplace_back(1, body.back());
    }
    const ScriptServer server("127.0.0.40", {Reply{drips, 100us}});
    const auto outcome = harness::run_pageglean({"127.0.0.40/drip", "drip.txt"}, dir.path());
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(dir.read("drip.txt"), body);

    const std::string response = dir.read("pageglean.dummy");
    std::vector<std::string> chunks;
    std::size_t at = 0;
    for (const std::size_t size : reported_chunks(outcome.out)) {
        chunks.push_back(response.substr(at, size));
        at += size;
    }
    EXPECT_EQ(at, response.size());
    EXPECT_GT(chunks.size(), 100u);  // it did arrive in drips
    EXPECT_TRUE(dir.read("pageglean.dummys") == harness::literal_spool(chunks));
}

TEST_F(Faults, MegabyteHeaderWithoutAnEndMarkEndsAtTheEndOfTheFile) {
    const std::string response = "HTTP/1.0 200 OK\r\nX-Long: " + std::string(1 << 20, 'h');
    const ScriptServer server("127.0.0.41", {Reply{{response}}});
    const auto outcome = harness::run_pageglean({"127.0.0.41/", "long.html"}, dir.path());
    EXPECT_EQ(outcome.exit_code, 0);
    const auto length = static_cast<long>(response.size());
    EXPECT_NE(
        outcome.out.find(response.substr(0, response.size() - 3) +
                         "\r\n\r\nStart of data:  " + std::to_string(length - 3) +
                         "\r\nFile length: " + std::to_string(length) + "\r\nData length:  0\r\n"),
        std::string::npos);
    EXPECT_EQ(dir.read("long.html"), "");
    EXPECT_TRUE(dir.read("pageglean.dummy") == response);
}

TEST_F(Faults, UnwritableWorkingDirectoryIsAFileProblem) {
    const ScriptServer server("127.0.0.42", {Reply{{"HTTP/1.0 200 OK\r\n\r\nbody"}}});
    const auto outcome = harness::run_pageglean({"-q", "127.0.0.42/"}, dir.path(),
                                                Input::key_before, 20, harness::Directory::removed);
    EXPECT_EQ(outcome.out, "File problem.\r\nError: 2 Writing: 'pageglean.dummys'.\r\n");
    EXPECT_EQ(outcome.exit_code, 1);
}

TEST_F(Faults, ServerThatClosesWithoutAnswering) {
    const ScriptServer server("127.0.0.43", {Reply{}});
    dir.write("out.html", "stale");
    const auto outcome = harness::run_pageglean({"-q", "127.0.0.43/", "out.html"}, dir.path());
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(dir.read("out.html"), "");
    EXPECT_EQ(dir.read("pageglean.dummy"), "");
}

}  // namespace
