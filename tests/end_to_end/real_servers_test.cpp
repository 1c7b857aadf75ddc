// The real binary against real web servers: nginx and Python's http.server.

#include "harness/real_servers.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>

#include "harness/network.h"
#include "harness/process.h"
#include "harness/temp_dir.h"

namespace {

using harness::Input;
using harness::RealServer;

// 31 Oct 2006 14:39:28 GMT: the served files' modification time
constexpr time_t k_modified = 1162305568;

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

class RealServers : public testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::filesystem::create_directories(site.file("files"));
        serve("1k.bin", 1024);
        serve("1m.bin", 1 << 20);
    }

    void serve(const std::string& name, std::size_t size) {
        site.write("files/" + name, pattern(size));
        const utimbuf times{k_modified, k_modified};
        ::utime(site.file("files/" + name).c_str(), &times);
    }

    harness::Outcome run(const std::vector<std::string>& arguments) {
        return harness::run_pageglean(arguments, dir.path(), Input::key_before, 60);
    }

    harness::TempDir site;
    harness::TempDir state;
    harness::TempDir dir;
};

TEST_F(RealServers, NginxFilesArriveByteIdentical) {
    const RealServer nginx = RealServer::nginx(site.path(), state.path());
    REQUIRE_SERVER(nginx);
    serve("64m.bin", 64 << 20);
    for (const char* name : {"1k.bin", "1m.bin", "64m.bin"}) {
        const auto outcome = run({"-q", std::string("http://127.0.0.80/files/") + name, name});
        EXPECT_EQ(outcome.exit_code, 0) << name;
        EXPECT_EQ(outcome.out, "") << name;
        EXPECT_TRUE(dir.read(name) == site.read(std::string("files/") + name)) << name;
    }
    EXPECT_EQ(dir.read("pageglean.modified"), "31 Oct 2006 14:39:28 GMT\r\n");
}

TEST_F(RealServers, NginxHeadGivesNoBody) {
    const RealServer nginx = RealServer::nginx(site.path(), state.path());
    REQUIRE_SERVER(nginx);
    dir.write("head.out", "old");
    const auto outcome = run({"-head", "http://127.0.0.80/files/1m.bin", "head.out"});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_NE(outcome.out.find("Content-Length: 1048576\r"), std::string::npos);
    EXPECT_NE(outcome.out.find("\r\nData length:  0\r\n"), std::string::npos);
    EXPECT_EQ(dir.read("head.out"), "");
}

TEST_F(RealServers, NginxRedirectsAreFollowedAndALoopEnds) {
    const RealServer nginx = RealServer::nginx(site.path(), state.path());
    REQUIRE_SERVER(nginx);
    const std::string one_k = site.read("files/1k.bin");

    auto outcome = run({"-q", "http://127.0.0.80/relative", "r.bin"});
    EXPECT_EQ(outcome.out, " 1. redirection, new start with: /files/1k.bin\r\n");
    EXPECT_TRUE(dir.read("r.bin") == one_k);
    EXPECT_EQ(dir.read("pageglean.redirected"), "/files/1k.bin\r\n");

    outcome = run({"-q", "http://127.0.0.80/absolute", "a.bin"});
    EXPECT_EQ(outcome.out, " 1. redirection, new start with: http://127.0.0.80/files/1k.bin\r\n");
    EXPECT_TRUE(dir.read("a.bin") == one_k);

    outcome = run({"-q", "http://127.0.0.80/loop", "l.bin"});
    EXPECT_TRUE(outcome.out.ends_with(
        " 6. redirection, new start with: /loop\r\nToo much (>5) redirections!\r\n\r\n"));
    EXPECT_EQ(outcome.exit_code, 1);
}

TEST_F(RealServers, NginxNotFoundPageIsSavedAsTheBody) {
    const RealServer nginx = RealServer::nginx(site.path(), state.path());
    REQUIRE_SERVER(nginx);
    const auto outcome = run({"-q", "http://127.0.0.80/missing.html", "missing.html"});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_TRUE(dir.read("pageglean.dummy").starts_with("HTTP/1.1 404 Not Found\r\n"));
    EXPECT_NE(dir.read("missing.html").find("<title>404 Not Found</title>"), std::string::npos);
    EXPECT_FALSE(dir.exists("pageglean.modified"));
}

TEST_F(RealServers, PythonServerFilesAndNotFound) {
    const RealServer python = RealServer::python(site.path());
    REQUIRE_SERVER(python);
    auto outcome = run({"-q", "http://127.0.0.81/files/1m.bin", "1m.bin"});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_TRUE(dir.read("1m.bin") == site.read("files/1m.bin"));
    EXPECT_EQ(dir.read("pageglean.modified"), "31 Oct 2006 14:39:28 GMT\r\n");

    outcome = run({"-q", "http://127.0.0.81/nothing-here", "nothing.html"});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_NE(dir.read("nothing.html").find("404"), std::string::npos);
}

}  // namespace
