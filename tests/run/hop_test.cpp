// Whole runs in-process: the hop's network is a scripted peer on its own thread at the far
// end of a socket pair, the console a file, the work files in a fresh folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <system_error>
#include <thread>

#include "run/driver.h"
#include "scratch.h"

namespace run {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Files = std::map<std::string, std::optional<std::string>>;

// One connection: the response the peer sends once it has read the request, then each
// paced piece once the hop has read all before it; then a close, or with `reset` a reset
// (the request left unread, which the close of a socket pair's end answers with
// ECONNRESET). Or the failure of reaching the peer, or an errno the dial throws as the
// standard library would.
struct Answer {
    std::string response;
    std::vector<std::string> paced = {};
    bool reset = false;
    std::optional<support::Failure> failure = std::nullopt;
    int thrown = 0;
};
using Script = std::map<std::string, std::deque<Answer>>;

// Sends it all; false when the hop has gone.
bool send_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t sent = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Answers one connection, keeping its request as it came.
void serve(const support::Fd& end, const Answer& answer, std::string& request) {
    char buffer[8192];
    for (;;) {  // peeked up to its blank line, and read only when no reset is to follow
        const ssize_t got = ::recv(end.get(), buffer, sizeof buffer, MSG_PEEK);
        if (got <= 0) return;
        request.assign(buffer, static_cast<std::size_t>(got));
        if (request.find("\r\n\r\n") != std::string::npos) break;
        std::this_thread::sleep_for(1ms);
    }
    if (!answer.reset) (void)::recv(end.get(), buffer, request.size(), 0);
    if (!send_all(end.get(), answer.response)) return;
    for (const auto& piece : answer.paced) {
        int queued = 0;
        while (::ioctl(end.get(), SIOCOUTQ, &queued) == 0 && queued > 0) {
            std::this_thread::sleep_for(1ms);
        }
        if (!send_all(end.get(), piece)) return;
    }
    if (!answer.reset) ::shutdown(end.get(), SHUT_WR);
}

// Each authority's connections answered in order, each by a peer on its own thread; one
// the script does not foresee cannot be resolved.
class ScriptedPeers {
  public:
    explicit ScriptedPeers(Script script) : m_script(std::move(script)) {
        m_network.dial = [this](const support::Url& url, const http::Reach&) {
            http::Dialed dialed;
            auto& queue = m_script[url.authority];
            if (queue.empty()) {
                dialed.failure = support::Failure{support::Problem::resolve, 0, url.authority};
                return dialed;
            }
            Answer answer = std::move(queue.front());
            queue.pop_front();
            if (answer.thrown) throw std::system_error(answer.thrown, std::generic_category());
            dialed.shown = " 1";
            dialed.failure = answer.failure;
            int ends[2];
            if (answer.failure || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
                return dialed;
            }
            m_requests.emplace_back();
            m_peers.emplace_back([end = support::Fd(ends[1]), answer = std::move(answer),
                                  &request = m_requests.back()] { serve(end, answer, request); });
            dialed.stream = http::Stream(support::Fd(ends[0]), 5000);
            return dialed;
        };
    }
    const Network& network() const { return m_network; }
    // Every connection's request, in the order they were made, once its peer is done.
    std::vector<std::string> requests() {
        for (auto& peer : m_peers) {
            if (peer.joinable()) peer.join();
        }
        return {m_requests.begin(), m_requests.end()};
    }

  private:
    Script m_script;
    Network m_network;
    std::deque<std::string> m_requests;  // outlives the peers that write them
    std::deque<std::jthread> m_peers;
};

// A fresh folder as the current one, for one row; the console in a file beside it.
struct Folder {
    scratch::Folder folder{"pageglean_hop"};
    std::string console_name = folder.path.string() + ".console";
    support::Console console{
        ::open(console_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)};

    ~Folder() {
        ::close(console.fd);
        fs::remove(console_name);
    }
};

std::string request(const std::string& target, const std::string& host,
                    const std::string& method = "GET", const std::string& more = "") {
    return method + " " + target + " HTTP/1.0\r\nHost: " + host +
           "\r\nConnection: close\r\nUser-Agent: Pageglean " + PAGEGLEAN_VERSION + "\r\n" + more +
           "\r\n";
}

std::string moved(const std::string& location, const std::string& status = "302 Found") {
    return "HTTP/1.0 " + status + "\r\nLocation: " + location + "\r\n\r\nmoved";
}

std::string ok(const std::string& body, const std::string& head = "") {
    return "HTTP/1.0 200 OK\r\n" + head + "\r\n" + body;
}

// The spool of one receive: its bytes, then the rest of its 8 KiB block.
std::string spooled(const std::string& received) {
    return received + std::string(8192 - received.size(), '\0');
}

std::string file_problem(int err, const std::string& name) {
    return "File problem.\r\nError: " + std::to_string(err) + " Writing: '" + name + "'.\r\n";
}

const std::string k_date = "Last-Modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n";
const std::string k_work_files[] = {"pageglean.dummys", "pageglean.dummy", "pageglean.original",
                                    "pageglean.redirected", "pageglean.modified"};
constexpr Ending k_failed{1, Wait::timed, 6000};
const support::Failure k_refused{support::Problem::connect, ECONNREFUSED, {}, "connect()"};
const std::string k_bob = "Authorization: Basic Ym9iOnBhNTU=\r\n";

// A run in a fresh folder: its files made first, or `setup` run; then how it ends, the
// console exactly (`out`) or holding parts (`has`) and lacking others, every connection's
// request when given, and files (none for nullopt).
struct Row {
    std::string name;
    std::vector<std::string> args;
    Script serve = {};
    Ending ending = k_finished;
    std::optional<std::string> out = std::nullopt;
    std::vector<std::string> has = {};
    std::optional<std::vector<std::string>> requests = std::nullopt;
    Files files = {};
    Files before = {};
    std::function<void()> setup = {};
    std::vector<std::string> lacks = {};
};

// clang-format off: a row's fields share lines
std::vector<Row> rows() {
    const std::string a59 = std::string(59, 'a'), b50 = std::string(50, 'b');
    std::string odd, big;  // from 4 MiB on, the response file is copied beside the hop
    for (int i = 0; i < 20000; ++i) odd += static_cast<char>(33 + i * 7 % 90);
    for (int i = 0; i < (5 << 17); ++i) big += std::to_string(10'000'000 + i) + "\n";
    const std::string long_response = ok(std::string(1000, 'x'), "Content-Length: 2000\r\n");
    const std::string long_line = "X-Long: " + std::string(70000, 'L') + "\r\n";
    // in receives of 32 KiB, each of which a socket pair hands over whole
    const std::string odd_response = ok(odd, long_line);
    const std::string ok_past_header =
        ok(std::string(40000, 'b'), long_line + "Content-Length: 40001\r\n");
    // a first receive past what the length check reads, a last one past 8 KiB: the spool's
    // filler is the last receive's first 8 KiB behind its rest
    const std::string two_large = ok(std::string(20000 - ok("").size(), 'b') +
                                     std::string(8192, 'c') + std::string(808, 'd'));
    std::string six_notices;
    for (int i = 1; i <= 6; ++i)
        six_notices += " " + std::to_string(i) + ". redirection, new start with: /self\r\n";
    std::vector<Row> rows = {
        {.name = "two receives, loud: a step each, the second block over the first one's tail",
         .args = {"h/"}, .serve = {{"h", {{ok(a59, "Last-Modified: 1 Jan\r\n"), {b50}}}}},
         .has = {" 1. step:  100 of  100\r\n 2. step:  50 of  150\r\n\r\nLaenge Download: 8292 "
                 "Bytes.\r\n"},
         .files = {{"pageglean.out", a59 + b50}, {"pageglean.modified", "quiet\r\n"},
                   {"pageglean.dummys", ok(a59, "Last-Modified: 1 Jan\r\n") + b50 + '\0' +
                                            std::string(49, 'a') + std::string(8092, '\0')}},
         .before = {{"pageglean.modified", "quiet\r\n"}}},
        {.name = "two receives past 8 KiB: the filler read back from the spool",
         .args = {"-q", "h/"}, .serve = {{"h", {{two_large.substr(0, 20000), {two_large.substr(20000)}}}}},
         .out = "", .files = {{"pageglean.dummys", two_large + '\0' + std::string(7383, 'c')}}},
        {.name = "8 KiB receives and a rest: the step totals, a header line past 64 KiB echoed",
         .args = {"h/", "odd.txt"}, .serve = {{"h", {{odd_response.substr(0, 32768),
                                                       {odd_response.substr(32768, 32768),
                                                        odd_response.substr(65536)}}}}},
         .has = {" 10. step:  8192 of  81920\r\n 11. step:  8109 of  90029\r\n",
                 "\r\n" + long_line.substr(0, 70008) + "\r\r\n\r\nStart of data:  70026\r\n"},
         .files = {{"odd.txt", odd}}},
        {.name = "a large page whole", .args = {"-q", "h/", "big.txt"},
         .serve = {{"h", {{ok(big)}}}}, .out = "",
         .files = {{"big.txt", big}, {"pageglean.dummy", ok(big)}}},
        {.name = "-get with no path asks for /; a 404 is saved; no date removes the old date file",
         .args = {"-get", "-q", "scheme://h"},
         .serve = {{"h", {{"HTTP/1.0 404 Not Found\r\n\r\nx"}}}}, .out = "",
         .requests = {{request("/", "h")}},
         .files = {{"pageglean.out", "x"}, {"pageglean.modified", std::nullopt}},
         .before = {{"pageglean.modified", "old\r\n"}}},
        {.name = "a reset in the body is a receive problem and leaves the output alone",
         .args = {"h/", "page.html"}, .serve = {{"h", {{ok("partial body"), {}, true}}}},
         .ending = {1, Wait::timed, 60'000},
         .has = {"Download log:\r\n 1. step:  31 of  31\r\nReceive problem.\r\nError: 104 Calling: "
                 "recv()\r\n"},
         .files = {{"page.html", "previous"}, {"pageglean.dummys", spooled(ok("partial body"))}},
         .before = {{"page.html", "previous"}}},
        {.name = "a body shorter than announced", .args = {"-q", "h/", "o"},
         .serve = {{"h", {{long_response}}}}, .ending = k_failed,
         .out = "Receive problem.\r\nError: 1000 of 2000 announced body bytes arrived Calling: "
                "recv()\r\n",
         .files = {{"o", "old"}, {"pageglean.dummy", long_response}}, .before = {{"o", "old"}}},
        // the length check reads a header back from the spool while it is still looking
        {.name = "a Content-Length past 64 KiB of header, in the second of two receives",
         .args = {"-q", "h/"},
         .serve = {{"h", {{ok_past_header.substr(0, 10000), {ok_past_header.substr(10000)}}}}},
         .ending = k_failed,
         .out = "Receive problem.\r\nError: 40000 of 40001 announced body bytes arrived Calling: "
                "recv()\r\n"},
        {.name = "a full disk", .args = {"-q", "h/", "/dev/full"},
         .serve = {{"h", {{ok("body")}}}}, .ending = k_failed,
         .out = file_problem(28, "/dev/full")},
        {.name = "a working folder that is gone", .args = {"-q", "h/"},
         .serve = {{"h", {{ok("body")}}}}, .ending = k_failed,
         .out = file_problem(2, "pageglean.dummys"),
         .setup = [] { fs::remove(fs::current_path()); }},
        {.name = "a sixth redirect is refused at once", .args = {"-q", "h/self"},
         .serve = {{"h", std::deque<Answer>(7, Answer{moved("/self")})}},
         .ending = {1, Wait::none, 0},
         .out = six_notices + "Too much (>5) redirections!\r\n\r\n",
         .requests = std::vector<std::string>(6, request("/self", "h")),
         .files = {{"pageglean.out", ""}}, .before = {{"pageglean.out", "before"}}},
        {.name = "an empty value ends at once", .args = {"-q", "h/"},
         .serve = {{"h", {{moved("")}}}}, .ending = {1, Wait::none, 0},
         .out = " 1. redirection, new start with: \r\nURL is empty. See usage!\r\n\r\n"},
        {.name = "header names in any case: a lower-case location, a mixed-case date, both as "
                 "received",
         .args = {"-q", "h/", "o"},
         .serve = {{"h", {{"HTTP/1.0 302 Found\r\nlocation: /N x\r\n\r\n"},
                          {ok("page", "LAST-modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n")}}}},
         .out = " 1. redirection, new start with: /N x\r\n",
         .requests = {{request("/", "h"), request("/N%20x", "h")}},
         .files = {{"o", "page"}, {"pageglean.redirected", "/N%20x\r\n"},
                   {"pageglean.modified", "31 Oct 2006 14:39:28 GMT\r\n"}}},
        // bob's pa55 is Ym9iOnBhNTU=, carol's ":w" Y2Fyb2w6Onc=
        {.name = "URL credentials: kept in their origin, dropped on another port and host, a "
                 "Location's own",
         .args = {"http://bob:pa55@h/a"},
         .serve = {{"h", {{moved("/b")}, {moved("http://h:8080/c")}}},
                   {"h:8080", {{moved("http://g/d")}}},
                   {"g", {{moved("//carol:%3Aw@g/e")}, {ok("end")}}}},
         .has = {"Command: bob:****@h/b pageglean.out\r\n", "Host: bob:****@h\r\n",
                 "Command: //carol:****@g/e pageglean.out\r\n"},
         .requests = {{request("/a", "h", "GET", k_bob), request("/b", "h", "GET", k_bob),
                       request("/c", "h:8080"), request("/d", "g"),
                       request("/e", "g", "GET", "Authorization: Basic Y2Fyb2w6Onc=\r\n")}},
         .files = {{"pageglean.out", "end"}}, .lacks = {"pa55", "Ym9iOnBhNTU", "Y2Fyb2w6Onc"}},
        // each hop resolves against its own URL; the first response kept, the output left
        // empty by the hop that redirected, no side file for a run that failed
        {.name = "a redirect chain that fails on its third hop",
         .args = {"-q", "scheme://h:8080/dir/a", "out.html"},
         .serve = {{"h:8080", {{moved("b/../c?x=1#part")}, {moved("//other:81/d")}}},
                   {"other:81", {{{}, {}, false, k_refused}}}},
         .ending = k_failed,
         .out = " 1. redirection, new start with: b/../c?x=1#part\r\n"
                " 2. redirection, new start with: //other:81/d\r\n"
                "Socket error. Connection to internet has a problem.\r\n"
                "Error: 111 Calling: connect()\r\n",
         .requests = {{request("/dir/a", "h:8080"), request("/dir/c?x=1", "h:8080")}},
         .files = {{"pageglean.original", moved("b/../c?x=1#part")}, {"out.html", ""},
                   {"pageglean.redirected", std::nullopt}},
         .before = {{"out.html", "old page"}}},
        // a resolved target logged as it is fetched, its request well formed whatever bytes
        // the value holds, each notice right after its Location line; a control byte is no
        // host
        {.name = "loud logs and request bytes of resolved targets", .args = {"-HEAD", "h/", "o"},
         .serve = {{"h", {{moved("/p\tq r?s#f")}, {moved("http://h\x01x/")}}}},
         .ending = {1, Wait::timed, 60'000},
         .has = {"Command log: -HEAD h/ o\r\nCommand: h/p\tq%20r?s#f o\r\nURL: h/p\tq%20r?s#f\r\n"
                 "Host: h\r\nPath: p\tq%20r?s#f\r\nFile: o\r\n",
                 "Location: http://h\x01x/\r 2. redirection, new start with: "
                 "http://h\x01x/\r\n\r\n###",
                 "IP:  0\r\n\r\nNo connection to host available.\r\nError: ResolveHost: "
                 "'h\x01x'.\r\n"},
         .requests = {{request("/", "h", "HEAD"), request("/p%09q%20r?s", "h", "HEAD")}}},
        // an exception from the standard library ends the step it came from as a failure of
        // that step with the exception's errno, never the process
        {.name = "an exception fails its step with its errno", .args = {"-q", "h/"},
         .serve = {{"h", {{.response = "", .thrown = EAGAIN}}}}, .ending = k_failed,
         .out = "Socket error. Connection to internet has a problem.\r\nError: 11 Calling: "
                "connect()\r\n"},
    };
    for (const auto& [how, reset, error] :
         {std::tuple{"closes", false, "the server closed without a response"},
          std::tuple{"resets", true, "104"}}) {
        rows.push_back({.name = std::string("a hop that receives nothing: a peer that ") + how,
                        .args = {"-q", "h/"}, .serve = {{"h", {{moved("/b")}, {"", {}, reset}}}},
                        .ending = k_failed,
                        .out = " 1. redirection, new start with: /b\r\nReceive problem.\r\n"
                               "Error: " + std::string(error) + " Calling: recv()\r\n",
                        .files = {{"pageglean.dummys", ""}, {"pageglean.dummy", ""}}});
    }
    // the work files are never the output, however it is named: a link to one (dangling or
    // not, for "->") as well
    for (const std::string name :
         {"pageglean.dummys", "pageglean.dummy", "pageglean.original", "pageglean.redirected",
          "pageglean.modified", "././pageglean.dummy", "->pageglean.modified",
          "->pageglean.redirected", "->pageglean.dummy"}) {
        const std::string output = name.starts_with("->") ? "out.lnk" : name;
        rows.push_back({.name = name + " as the output", .args = {"-q", "h/", output},
                        .serve = {{"h", {{ok("body")}}}}, .ending = k_failed,
                        .out = file_problem(22, output), .requests = std::vector<std::string>{},
                        .files = {{"pageglean.dummys", std::nullopt}}, .setup = [name] {
                            if (name.starts_with("->"))
                                fs::create_symlink(name.substr(2), "out.lnk");
                        }});
    }
    // a work file that cannot be made fails the run with the removal's error
    for (const std::string name :
         {"pageglean.dummys", "pageglean.original", "pageglean.redirected", "pageglean.modified"}) {
        const bool side_file = name.ends_with("redirected") || name.ends_with("modified");
        rows.push_back({.name = "a folder under " + name, .args = {"-q", "h/"},
                        .serve = {{"h", {{moved("/p")}, {ok("p", k_date)}}}}, .ending = k_failed,
                        .out = (side_file ? " 1. redirection, new start with: /p\r\n" : "") +
                               file_problem(21, name),
                        .setup = [name] { fs::create_directory(name); }});
    }
    for (const bool symbolic : {true, false}) {
        Files files = {{"pageglean.dummys", spooled(ok("the page", k_date))},
                       {"pageglean.dummy", ok("the page", k_date)},
                       {"pageglean.original", moved("/page")},
                       {"pageglean.redirected", "/page\r\n"},
                       {"pageglean.modified", "31 Oct 2006 14:39:28 GMT\r\n"},
                       {"out.html", "the page"}};
        for (const auto& name : k_work_files) files["v/" + name] = "victim";
        rows.push_back({.name = std::string(symbolic ? "symbolic" : "hard") +
                                " links under the work files' names",
                        .args = {"-q", "h/", "out.html"},
                        .serve = {{"h", {{moved("/page")}, {ok("the page", k_date)}}}},
                        .files = files,
                        .setup = [symbolic] {
                            fs::create_directory("v");
                            for (const auto& name : k_work_files) {
                                std::ofstream("v/" + name) << "victim";
                                if (symbolic) fs::create_symlink("v/" + name, name);
                                if (!symbolic) fs::create_hard_link("v/" + name, name);
                            }
                        }});
    }
    // an empty URL fetches nothing, exit 1 unless there were no arguments
    for (const auto& args : {std::vector<std::string>{"http://"}, {"", "u"}, {}})
        rows.push_back(
            {.name = "empty", .args = args, .ending = {args.empty() ? 0 : 1, Wait::none, 0}});
    return rows;
}
// clang-format on

TEST(Hop, Rows) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        const Folder folder;
        for (const auto& [name, text] : row.before) std::ofstream(name) << *text;
        if (row.setup) row.setup();
        ScriptedPeers peers(row.serve);
        const Ending ending = download(row.args, folder.console, peers.network());
        EXPECT_EQ(ending.code, row.ending.code);
        EXPECT_EQ(ending.wait, row.ending.wait);
        EXPECT_EQ(ending.wait_ms, row.ending.wait_ms);
        const std::string text = scratch::read_file(folder.console_name).value_or("");
        EXPECT_EQ(text, row.out.value_or(text));
        for (const auto& part : row.has) EXPECT_NE(text.find(part), std::string::npos) << part;
        for (const auto& part : row.lacks) EXPECT_EQ(text.find(part), std::string::npos) << part;
        EXPECT_EQ(peers.requests(), row.requests.value_or(peers.requests()));
        for (const auto& [name, content] : row.files) EXPECT_EQ(scratch::read_file(name), content) << name;
    }
}

}  // namespace
}  // namespace run
