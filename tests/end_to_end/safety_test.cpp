// The real binary where other users, other runs, closed descriptors, signals and failing
// disks would make it write where it must not, or report success it has not had.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <thread>

#include "harness/network.h"
#include "harness/process.h"
#include "harness/script_server.h"
#include "harness/spool_model.h"
#include "harness/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using harness::Input;
using harness::Launch;
using harness::Reply;
using harness::ScriptServer;

const std::vector<std::string> k_work_files = {"pageglean.dummys", "pageglean.dummy",
                                               "pageglean.original", "pageglean.redirected",
                                               "pageglean.modified"};

class Safety : public testing::Test {
  protected:
    void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
    harness::TempDir dir;
};

TEST_F(Safety, LinksUnderWorkFileNamesAreReplacedNeverWrittenThrough) {
    const std::string moved = harness::http_response("moved", "Location: /page\r\n", "302 Found");
    const std::string page =
        harness::http_response("the page", "Last-Modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n");
    const ScriptServer server("127.0.0.44",
                              {Reply{{moved}}, Reply{{page}}, Reply{{moved}}, Reply{{page}}});
    const std::map<std::string, std::string> contents = {
        {"pageglean.dummys", harness::literal_spool({page})},
        {"pageglean.dummy", page},
        {"pageglean.original", moved},
        {"pageglean.redirected", "/page\r\n"},
        {"pageglean.modified", "31 Oct 2006 14:39:28 GMT\r\n"}};
    harness::TempDir victims;
    for (const bool symbolic : {true, false}) {
        for (const auto& name : k_work_files) {
            victims.write(name, "victim");
            const std::string victim = victims.file(name);
            ASSERT_EQ(symbolic ? ::symlink(victim.c_str(), dir.file(name).c_str())
                               : ::link(victim.c_str(), dir.file(name).c_str()),
                      0);
        }
        const auto outcome = harness::run_pageglean({"-q", "127.0.0.44/", "out.html"}, dir.path());
        EXPECT_EQ(outcome.exit_code, 0) << outcome.out;
        for (const auto& name : k_work_files) {
            EXPECT_EQ(victims.read(name), "victim") << name << (symbolic ? " symlink" : " link");
            struct stat st {};
            ASSERT_EQ(::lstat(dir.file(name).c_str(), &st), 0) << name;
            EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_nlink == 1) << name;
            EXPECT_TRUE(dir.read(name) == contents.at(name)) << name;
            ::unlink(dir.file(name).c_str());
        }
        EXPECT_EQ(dir.read("out.html"), "the page");
    }
}

TEST_F(Safety, TwoRunsAtOnceInOneDirectoryEachGetTheirOwnBody) {
    constexpr int k_rounds = 3;
    std::string bodies[2];
    std::vector<Reply> replies[2];
    for (int i = 0; i < 2; ++i) {
        bodies[i] = std::string(6 << 20, static_cast<char>('a' + i));
        for (std::size_t at = 0; at < bodies[i].size(); at += 7919) {
            bodies[i][at] = static_cast<char>('0' + at % 10);
        }
        const std::string response = harness::http_response(bodies[i]);
        Reply reply{{}, 500us};
        for (std::size_t at = 0; at < response.size(); at += 1 << 17) {
            reply.chunks.push_back(response.substr(at, 1 << 17));
        }
        replies[i].assign(k_rounds, reply);
    }
    const ScriptServer first("127.0.0.45", replies[0]);
    const ScriptServer second("127.0.0.46", replies[1]);
    for (int round = 0; round < k_rounds; ++round) {
        harness::Outcome outcomes[2];
        std::thread other([&] {
            outcomes[1] = harness::run_pageglean({"-q", "127.0.0.46/", "b.bin"}, dir.path());
        });
        outcomes[0] = harness::run_pageglean({"-q", "127.0.0.45/", "a.bin"}, dir.path());
        other.join();
        EXPECT_EQ(outcomes[0].exit_code, 0) << outcomes[0].out;
        EXPECT_EQ(outcomes[1].exit_code, 0) << outcomes[1].out;
        EXPECT_TRUE(dir.read("a.bin") == bodies[0]) << "round " << round;
        EXPECT_TRUE(dir.read("b.bin") == bodies[1]) << "round " << round;
    }
}

// The sanitizer runtime reopens closed standard descriptors on its own, so under it this
// guards the run's own handling only; tests/valgrind.sh repeats it on the plain build.
TEST_F(Safety, ClosedStandardDescriptorsNeverCarryTheLogToTheServerOrTheFile) {
    const std::string response = harness::http_response("exactly the body");
    const ScriptServer server("127.0.0.47", {Reply{{response}}, Reply{{response}}});
    Launch launch;
    launch.close_output = true;
    EXPECT_EQ(harness::run_pageglean({"127.0.0.47/x", "out.html"}, dir.path(), launch).exit_code,
              0);
    EXPECT_EQ(dir.read("out.html"), "exactly the body");
    launch.close_input = true;
    EXPECT_EQ(harness::run_pageglean({"127.0.0.47/x", "out.html"}, dir.path(), launch).exit_code,
              0);
    EXPECT_EQ(dir.read("out.html"), "exactly the body");
    const std::string request =
        "GET /x HTTP/1.0\r\nHost: 127.0.0.47\r\nConnection: close\r\nUser-Agent: Pageglean "
        "1.32\r\n\r\n";
    EXPECT_EQ(server.requests(), (std::vector<std::string>{request, request}));
}

TEST_F(Safety, ALoudRunWhoseOutputPipeClosesStillWritesItsBody) {
    const ScriptServer server("127.0.0.48",
                              {Reply{{"HTTP/1.0 200 OK\r\n\r\nfirst ", "second"}, 300ms}});
    Launch launch;
    launch.close_pipe_early = true;
    const auto outcome = harness::run_pageglean({"127.0.0.48/", "out.html"}, dir.path(), launch);
    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(dir.read("out.html"), "first second");
}

TEST_F(Safety, AnInterruptDuringTheReceiveLeavesWhatArrivedInTheSpool) {
    const std::string first = "HTTP/1.0 200 OK\r\n\r\nfirst chunk";
    const ScriptServer server("127.0.0.49", {Reply{{first, "never seen"}, 1500ms}});
    Launch launch;
    launch.signal = SIGINT;
    launch.signal_after = 0.5;
    const auto outcome = harness::run_pageglean({"-q", "127.0.0.49/"}, dir.path(), launch);
    EXPECT_EQ(outcome.signal, SIGINT);  // ended as the signal would end it
    EXPECT_LT(outcome.seconds, 1.4);
    EXPECT_TRUE(dir.read("pageglean.dummys") == harness::literal_spool({first}));
}

TEST_F(Safety, FailedReadsWritesAndClosesAreFileProblemsNamingTheFile) {
    struct Case {
        const char* call;
        const char* name;
        int err;
    };
    const Case cases[] = {
        {"pwrite", "pageglean.dummys", ENOSPC},  // the spool
        {"pread", "pageglean.dummy", EIO},       // the response file, read by the scan
        {"close", "pageglean.dummy", EIO},
        {"close", "out.html", EDQUOT},  // a delayed write error shows only here
        {"close", "pageglean.modified", EDQUOT},
    };
    // exactly one 8 KiB block: no filler write follows that could report a lost write late
    const std::string header = "Last-Modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n";
    const std::string page = harness::http_response(
        std::string(8192 - harness::http_response("", header).size(), 'b'), header);
    const ScriptServer server("127.0.0.50", std::vector<Reply>(std::size(cases), Reply{{page}}));
    for (const Case& c : cases) {
        Launch launch;
        launch.input = Input::key_before;
        launch.environment = harness::failing_call(c.call, c.name, c.err);
        const auto outcome =
            harness::run_pageglean({"-q", "127.0.0.50/", "out.html"}, dir.path(), launch);
        EXPECT_EQ(outcome.out, "File problem.\r\nError: " + std::to_string(c.err) + " Writing: '" +
                                   c.name + "'.\r\n")
            << c.call << " " << c.name;
        EXPECT_EQ(outcome.exit_code, 1);
    }
}

}  // namespace
