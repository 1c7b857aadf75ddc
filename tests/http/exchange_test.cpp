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

TEST(Exchange, StepLinesUseTheConsoleNumberFormat) {
    EXPECT_EQ(format_step_line(1, 1000, 1000), " 1. step:  1000 of  1000");
    EXPECT_EQ(format_step_line(2, 50, std::int64_t{5} << 30), " 2. step:  50 of  5368709120");
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
        const support::Fd spool = support::open_read_write(dir.file("spool"));
        const support::Fd log = support::open_truncated(dir.file("log"));
        const support::Console console{log.get(), false};
        spooled.received = receive_to_spool(peer.client.get(), spool.get(), "spool", &console);
    }
    sender.join();
    spooled.spool = dir.read("spool");
    spooled.log = dir.read("log");
    return spooled;
}

TEST(Exchange, OneChunkLeavesTheResponseAZeroByteAndZerosInAFullBlock) {
    const std::string response(1000, 'r');
    const Spooled spooled = spool_records({response});
    EXPECT_EQ(spooled.received.total, 1000);
    EXPECT_FALSE(spooled.received.failure);
    ASSERT_EQ(spooled.spool.size(), 8192u);
    EXPECT_EQ(spooled.spool, response + std::string(7192, '\0'));
    EXPECT_EQ(spooled.log, " 1. step:  1000 of  1000\r\n");
}

TEST(Exchange, ShorterLastChunkLeavesTheEarlierChunksTailAsFiller) {
    std::string first(100, '\0');
    for (int i = 0; i < 100; ++i)
        first[static_cast<std::size_t>(i)] = static_cast<char>('A' + i % 26);
    const std::string second(50, 'z');
    const Spooled spooled = spool_records({first, second});
    EXPECT_EQ(spooled.received.total, 150);
    ASSERT_EQ(spooled.spool.size(), 100u + 8192u);
    EXPECT_EQ(spooled.spool.substr(0, 150), first + second);
    EXPECT_EQ(spooled.spool[150], '\0');
    EXPECT_EQ(spooled.spool.substr(151, 49), first.substr(51, 49));
    EXPECT_EQ(spooled.spool.substr(200), std::string(8092, '\0'));
    EXPECT_EQ(spooled.log, " 1. step:  100 of  100\r\n 2. step:  50 of  150\r\n");
}

TEST(Exchange, SpoolOfManyChunksMatchesBlockWritesAfterEveryReceive) {
    std::vector<std::string> chunks;
    for (int i = 0; i < 90; ++i) {
        const std::size_t size =
            i % 3 == 0 ? k_receive_size : static_cast<std::size_t>(1 + i * 97 % 8191);
        chunks.emplace_back(size, static_cast<char>('a' + i % 26));
    }
    chunks.emplace_back(10, 'Z');
    const Spooled spooled = spool_records(chunks);
    EXPECT_GT(spooled.received.total, static_cast<std::int64_t>(k_spool_batch));
    EXPECT_EQ(spooled.spool, harness::literal_spool(chunks));
}

TEST(Exchange, FullBlockEndsTheSpoolExactlyAndNothingLeavesItEmpty) {
    const std::string block(8192, '\x7f');
    EXPECT_EQ(spool_records({block}).spool, block);
    const Spooled nothing = spool_records({});
    EXPECT_EQ(nothing.received.total, 0);
    EXPECT_EQ(nothing.spool, "");
    EXPECT_EQ(nothing.log, "");
}

TEST(Exchange, ReceiveErrorIsAFailureNotAnEnd) {
    harness::TempDir dir;
    const support::Fd spool = support::open_read_write(dir.file("spool"));
    const support::Fd not_a_socket = support::open_read_write(dir.file("plain"));
    const Received received = receive_to_spool(not_a_socket.get(), spool.get(), "spool", nullptr);
    ASSERT_TRUE(received.failure);
    EXPECT_EQ(received.failure->what, support::Problem::receive);
    EXPECT_EQ(received.failure->err, ENOTSOCK);
}

TEST(Exchange, SendToAPeerThatHasGoneFailsWithoutSigpipe) {
    Records peer;
    peer.server.reset();
    const auto failure = send_all(peer.client.get(), "GET / HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(failure);  // the test process would have died of SIGPIPE otherwise
    EXPECT_EQ(failure->what, support::Problem::send);
    EXPECT_EQ(failure->err, EPIPE);
}

TEST(Exchange, SendContinuesUntilEveryByteIsOut) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const support::Fd reader(pair[0]), writer(pair[1]);
    const int small = 4096;
    ::setsockopt(writer.get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::string request(1 << 20, 'q');
    std::string arrived;
    std::thread drain([&] {
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(reader.get(), buffer, sizeof buffer, 0)) > 0)
            arrived.append(buffer, static_cast<std::size_t>(n));
    });
    EXPECT_FALSE(send_all(writer.get(), request));
    ::shutdown(writer.get(), SHUT_WR);
    drain.join();
    EXPECT_EQ(arrived.size(), request.size());
}

}  // namespace
}  // namespace http
