// Whole runs in-process: the hop's network is a scripted peer on a socket pair, the console
// a file, the work files in a fresh folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "run/driver.h"
#include "support/file.h"

namespace run {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One connection: the response the peer sends at once, or the failure of reaching it.
struct Answer {
    std::string response;
    std::optional<support::Failure> failure = std::nullopt;
};

// Each authority's connections answered in order. A peer's response waits in its socket
// pair before the hop sends, and the request waits there until the run is over.
class ScriptedPeers {
  public:
    explicit ScriptedPeers(std::map<std::string, std::deque<Answer>> answers)
        : m_answers(std::move(answers)) {
        m_network.dial = [this](const support::Url& url, const http::Reach&) {
            http::Dialed dialed;
            auto& queue = m_answers[url.authority];
            if (queue.empty()) {
                dialed.failure = support::Failure{support::Problem::resolve, 0, url.authority};
                return dialed;
            }
            const Answer answer = queue.front();
            queue.pop_front();
            dialed.shown = " 1";
            dialed.failure = answer.failure;
            int ends[2];
            if (answer.failure || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
                return dialed;
            }
            EXPECT_EQ(support::write_all(ends[1], answer.response), 0);
            ::shutdown(ends[1], SHUT_WR);
            m_peers.emplace_back(ends[1]);
            dialed.stream = http::Stream(support::Fd(ends[0]), 5000);
            return dialed;
        };
    }
    const Network& network() const { return m_network; }
    std::vector<std::string> requests() const {
        std::vector<std::string> requests;
        for (const auto& peer : m_peers) {
            std::string request(4096, '\0');
            request.resize(static_cast<std::size_t>(
                std::max<ssize_t>(0, ::read(peer.get(), request.data(), request.size()))));
            requests.push_back(request);
        }
        return requests;
    }

  private:
    std::map<std::string, std::deque<Answer>> m_answers;
    Network m_network;
    std::vector<support::Fd> m_peers;
};

// A fresh folder as the current one, the console in a file of it.
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
        m_console = support::Console{::open("console", O_WRONLY | O_CREAT | O_TRUNC, 0600)};
    }
    void TearDown() override {
        ::close(m_console.fd);
        fs::current_path(m_previous);
        fs::remove_all(m_folder);
    }
    Ending run(const std::vector<std::string>& arguments, const ScriptedPeers& peers) {
        return download(arguments, m_console, peers.network());
    }
    static std::string console() { return file("console").value_or(""); }

    support::Console m_console;

  private:
    fs::path m_previous;
    fs::path m_folder;
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
    // each notice right after the echo of its Location line, then the banner again
    EXPECT_NE(
        text.find(
            "Location: http://h\x01x/\r 2. redirection, new start with: http://h\x01x/\r\n\r\n###"),
        std::string::npos);
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
        const Ending empty = run(arguments, peers);
        EXPECT_EQ(empty.code, code);
        EXPECT_EQ(empty.wait, Wait::none);
    }
}

// An exception from the standard library ends the step it came from as a failure of that
// step with the exception's errno, never the process.
TEST_F(Hop, AnExceptionFailsItsStepWithItsErrno) {
    Network network;
    network.dial = [](const support::Url&, const http::Reach&) -> http::Dialed {
        throw std::system_error(EAGAIN, std::generic_category(), "no thread");
    };
    const Ending ending = download(std::vector<std::string>{"-q", "h/"}, m_console, network);
    EXPECT_EQ(ending.code, 1);
    EXPECT_EQ(console(),
              "Socket error. Connection to internet has a problem.\r\n"
              "Error: 11 Calling: connect()\r\n");
}

}  // namespace
}  // namespace run
