// Whole runs in-process: the hop's network is a scripted peer on a socket pair, the console
// a file, the work files in a fresh folder.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "run/driver.h"
#include "support/file.h"

namespace run {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// One connection: a response to send back, or the failure with which reaching it fails.
struct Answer {
    std::string response;
    std::optional<support::Failure> failure = std::nullopt;
};

// Answers each authority's connections in order and keeps every request as it came.
class ScriptedPeers {
  public:
    explicit ScriptedPeers(std::map<std::string, std::deque<Answer>> answers)
        : m_answers(std::move(answers)) {
        m_network.dial = [this](const support::Url& url, const http::Reach&) { return dial(url); };
    }
    ~ScriptedPeers() {
        for (auto& peer : m_peers) peer.join();
    }

    const Network& network() const { return m_network; }
    std::vector<std::string> requests() {
        for (auto& peer : m_peers) peer.join();
        m_peers.clear();
        return m_requests;
    }

  private:
    http::Dialed dial(const support::Url& url) {
        http::Dialed dialed;
        auto& queue = m_answers[url.authority];
        if (queue.empty()) {
            dialed.failure = support::Failure{support::Problem::resolve, 0, url.authority};
            return dialed;
        }
        Answer answer = std::move(queue.front());
        queue.pop_front();
        dialed.shown = " 1";
        if (answer.failure) {
            dialed.failure = answer.failure;
            return dialed;
        }
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        dialed.stream = http::Stream(support::Fd(ends[0]), 5000);
        m_peers.emplace_back([this, fd = ends[1], response = std::move(answer.response)] {
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            {
                const std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
            }
            (void)support::write_all(fd, response);
            ::close(fd);
        });
        return dialed;
    }

    std::map<std::string, std::deque<Answer>> m_answers;
    Network m_network;
    std::vector<std::thread> m_peers;
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

// A fresh folder as the current one, and the console in a file of it.
class Hop : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = fs::current_path();
        m_folder = fs::temp_directory_path() /
                   ("pageglean_hop_" + std::to_string(::getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        fs::current_path(m_folder);
        m_console_file = std::tmpfile();
        m_console.fd = fileno(m_console_file);
    }
    void TearDown() override {
        fs::current_path(m_previous);
        fs::remove_all(m_folder);
        std::fclose(m_console_file);
    }

    Ending run(std::vector<std::string> arguments, const ScriptedPeers& peers) {
        return download(arguments, m_console, peers.network());
    }
    std::string console() {
        std::fflush(m_console_file);
        std::string text(static_cast<std::size_t>(support::length_of(m_console.fd)), '\0');
        EXPECT_EQ(::pread(m_console.fd, text.data(), text.size(), 0),
                  static_cast<ssize_t>(text.size()));
        return text;
    }
    static std::optional<std::string> file(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    support::Console m_console;

  private:
    fs::path m_previous;
    fs::path m_folder;
    std::FILE* m_console_file = nullptr;
};

std::string request(const std::string& target, const std::string& host,
                    const std::string& method = "GET") {
    return method + " " + target + " HTTP/1.0\r\nHost: " + host +
           "\r\nConnection: close\r\nUser-Agent: Pageglean " + PAGEGLEAN_VERSION + "\r\n\r\n";
}

std::string moved(const std::string& location) {
    return "HTTP/1.0 302 Found\r\nLocation: " + location + "\r\n\r\nmoved";
}

// Each hop resolves against its own URL; the third cannot be reached: the notices, then
// the failure, a timed wait and exit 1; the first response kept, the output left empty by
// the hop that redirected, no side file for a run that failed.
TEST_F(Hop, ARedirectChainThatFailsOnItsThirdHop) {
    std::ofstream("out.html") << "old page";
    ScriptedPeers peers({
        {"h:8080", {{moved("b/../c?x=1#part")}, {moved("//other:81/d")}}},
        {"other:81",
         {{{}, support::Failure{support::Problem::connect, ECONNREFUSED, {}, "connect()"}}}},
    });
    const Ending ending = run({"-q", "scheme://h:8080/dir/a", "out.html"}, peers);
    EXPECT_EQ(ending.code, 1);
    EXPECT_EQ(ending.wait, Wait::timed);
    EXPECT_EQ(ending.wait_ms, 6000);
    EXPECT_EQ(console(),
              " 1. redirection, new start with: b/../c?x=1#part\r\n"
              " 2. redirection, new start with: //other:81/d\r\n"
              "Socket error. Connection to internet has a problem.\r\n"
              "Error: 111 Calling: connect()\r\n");
    EXPECT_EQ(peers.requests(),
              (std::vector{request("/dir/a", "h:8080"), request("/dir/c?x=1", "h:8080")}));
    EXPECT_EQ(file("pageglean.original"), moved("b/../c?x=1#part"));
    EXPECT_EQ(file("out.html"), "");
    EXPECT_EQ(file("pageglean.redirected"), std::nullopt);
}

// The loud log of a redirected hop shows its target as it resolved; the request is sent
// well formed whatever bytes the value holds, and a host with a control byte is none.
TEST_F(Hop, LoudLogsAndRequestBytesOfResolvedTargets) {
    ScriptedPeers peers({{"h", {{moved("/p\tq r?s#f")}, {moved("http://h\x01x/")}}}});
    const Ending ending = run({"-HEAD", "h/", "o"}, peers);
    EXPECT_EQ(ending.code, 1);
    EXPECT_EQ(peers.requests(),
              (std::vector{request("/", "h", "HEAD"), request("/p%09q%20r?s", "h", "HEAD")}));
    const std::string text = console();
    EXPECT_NE(
        text.find("Command log: -HEAD h/ o\r\nCommand: h/p\tq%20r?s#f o\r\nURL: h/p\tq%20r?s#f\r\n"
                  "Host: h\r\nPath: p\tq%20r?s#f\r\nFile: o\r\n"),
        std::string::npos);
    EXPECT_NE(text.find(" 2. redirection, new start with: http://h\x01x/\r\n"), std::string::npos);
    EXPECT_TRUE(
        text.ends_with("IP:  0\r\n\r\nNo connection to host available.\r\n"
                       "Error: ResolveHost: 'h\x01x'.\r\n"));
}

// An empty URL on a command line that was not empty fetches nothing and says so with exit
// 1; no arguments at all are a question, exit 0.
TEST_F(Hop, EmptyUrlsEndWithoutAWait) {
    ScriptedPeers peers({});
    for (const auto& [arguments, code] : {std::pair{std::vector<std::string>{"http://"}, 1},
                                          std::pair{std::vector<std::string>{"", "u"}, 1},
                                          std::pair{std::vector<std::string>{}, 0}}) {
        const Ending empty = download(arguments, m_console, peers.network());
        EXPECT_EQ(empty.code, code);
        EXPECT_EQ(empty.wait, Wait::none);
    }
}

}  // namespace
}  // namespace run
