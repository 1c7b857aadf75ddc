#include "http/exchange.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "harness/spool_model.h"
#include "harness/temp_dir.h"
#include "support/fd.h"
#include "support/file.h"

namespace http {
namespace {

using namespace std::string_literals;

TEST(Exchange, RequestHeadForGetHeadAndAnEmptyPath) {
    EXPECT_EQ(build_request_head(Method::get, "a.example", "a/b.html", "1.32"),
              "GET /a/b.html HTTP/1.0\r\nHost: a.example\r\nConnection: close\r\n"
              "User-Agent: Pageglean 1.32\r\n");
    EXPECT_EQ(build_request_head(Method::head, "a.example:81", "", "1.32"),
              "HEAD / HTTP/1.0\r\nHost: a.example:81\r\nConnection: close\r\n"
              "User-Agent: Pageglean 1.32\r\n");
}

// Each sent record arrives in a receive of its own, so chunk sizes are exact.
struct Records {
    support::Fd server, client;
    Records() {
        int pair[2];
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair);
        server = support::Fd(pair[0]);
        client = support::Fd(pair[1]);
    }
    void send(const std::string& bytes) const {
        ::send(server.get(), bytes.data(), bytes.size(), 0);
    }
};

struct Spooled {
    Received received;
    std::string spool;
    std::string log;
};

Spooled spool_records(const std::vector<std::string>& records) {
    harness::TempDir dir;
    Records peer;
    // sent from another thread: many records fill the socket before they are received
    std::thread sender([&] {
        for (const auto& record : records) peer.send(record);
        peer.server.reset();
    });
    Spooled spooled;
    {
        const support::Fd spool = support::create_work_file(dir.file("spool"));
        const support::Fd log = support::open_truncated(dir.file("log"));
        const support::Console console{log.get(), false};
        const Stream stream(std::move(peer.client));
        spooled.received = receive_to_spool(stream, spool.get(), "spool", &console);
    }
    sender.join();
    spooled.spool = dir.read("spool");
    spooled.log = dir.read("log");
    return spooled;
}

// A piece as the 8 KiB receives that would have brought it.
std::vector<std::string> as_receives(const std::vector<std::string>& pieces) {
    std::vector<std::string> receives;
    for (const auto& piece : pieces) {
        for (std::size_t at = 0; at < piece.size(); at += k_receive_size) {
            receives.push_back(piece.substr(at, k_receive_size));
        }
    }
    return receives;
}

std::string model_log(const std::vector<std::string>& receives) {
    std::string log;
    std::size_t total = 0;
    for (std::size_t i = 0; i < receives.size(); ++i) {
        total += receives[i].size();
        log += " " + std::to_string(i + 1) + ". step:  " + std::to_string(receives[i].size()) +
               " of  " + std::to_string(total) + "\r\n";
    }
    return log;
}

std::string patterned(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 31) % 251);
    }
    return bytes;
}

TEST(Exchange, SpoolAndLogFollowTheEightKilobyteModelForPiecesOfEverySize) {
    const std::vector<std::vector<std::size_t>> cases = {
        {},                                    // nothing: an empty spool, no step line
        {1000},                                // one short receive: zeros behind it
        {8192},                                // a full block ends the spool exactly
        {100, 50},                             // the first chunk's tail is the filler
        {1, 1, 1, 1, 1},                       // a drip
        {8191, 8193, 1},                       // straddling 8 KiB
        {20000, 3},                            // a piece's last full 8 KiB before a short one
        {3 * 8192 + 5, 40000},                 // short last receive inside a piece
        {5000, 16384},                         // a last piece that is a multiple of 8 KiB
        {65536, 8192 * 12 + 1, 7, 100000, 9},  // larger pieces mixed with small
    };
    for (const auto& sizes : cases) {
        std::vector<std::string> pieces;
        for (const std::size_t size : sizes) {
            pieces.push_back(patterned(size, static_cast<int>(pieces.size())));
        }
        const Spooled spooled = spool_records(pieces);
        const std::vector<std::string> receives = as_receives(pieces);
        std::string all;
        for (const auto& piece : pieces) all += piece;
        EXPECT_EQ(spooled.received.total, static_cast<std::int64_t>(all.size()));
        EXPECT_FALSE(spooled.received.failure);
        EXPECT_TRUE(spooled.spool == harness::literal_spool(receives))
            << testing::PrintToString(sizes);
        EXPECT_EQ(spooled.log, model_log(receives)) << testing::PrintToString(sizes);
    }
}

TEST(Exchange, ReceiveErrorIsAFailureNotAnEnd) {
    harness::TempDir dir;
    const support::Fd spool = support::create_work_file(dir.file("spool"));
    const Stream not_a_socket(support::create_work_file(dir.file("plain")));
    const Received received = receive_to_spool(not_a_socket, spool.get(), "spool", nullptr);
    ASSERT_TRUE(received.failure);
    EXPECT_EQ(received.failure->what, support::Problem::receive);
    EXPECT_EQ(received.failure->err, ENOTSOCK);
}

TEST(Exchange, SendToAPeerThatHasGoneFailsWithoutSigpipe) {
    // a stream socket, unlike a packet one, raises SIGPIPE on a send to a closed peer
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    struct Peer {
        support::Fd server, client;
    } peer{support::Fd(pair[0]), support::Fd(pair[1])};
    peer.server.reset();
    const auto failure = Stream(std::move(peer.client)).send_all("GET / HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(failure);  // the test process would have died of SIGPIPE otherwise
    EXPECT_EQ(failure->what, support::Problem::send);
    EXPECT_EQ(failure->err, EPIPE);
}

TEST(Exchange, SendContinuesUntilEveryByteIsOut) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const support::Fd reader(pair[0]);
    const Stream writer{support::Fd(pair[1])};
    const int small = 4096;
    ::setsockopt(writer.socket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::string request(1 << 20, 'q');
    std::string arrived;
    std::thread drain([&] {
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(reader.get(), buffer, sizeof buffer, 0)) > 0)
            arrived.append(buffer, static_cast<std::size_t>(n));
    });
    EXPECT_FALSE(writer.send_all(request));
    ::shutdown(writer.socket(), SHUT_WR);
    drain.join();
    EXPECT_EQ(arrived.size(), request.size());
}

}  // namespace
}  // namespace http
