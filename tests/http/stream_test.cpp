// The stream's TLS calls judged by what each call reported: the system's OpenSSL, with the
// calls on the connection replaced by a script.

#include "http/stream.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>

#include "http/tls_library.h"

namespace http {
namespace {

// One turn of a replaced call: its result, the SSL_get_error code for it, the bytes a read
// brings, and the errno the call leaves (0: it leaves errno alone).
struct Turn {
    int result = 0;
    int code = SSL_ERROR_NONE;
    std::string bytes = {};
    int err = 0;
};

std::deque<Turn> turns;
int last_code = SSL_ERROR_NONE;

int take_turn(void* buffer) {
    if (turns.empty()) return last_code = SSL_ERROR_SSL, -1;
    const Turn turn = turns.front();
    turns.pop_front();
    if (buffer != nullptr) std::memcpy(buffer, turn.bytes.data(), turn.bytes.size());
    if (turn.err != 0) errno = turn.err;
    last_code = turn.code;
    return turn.result;
}

const TlsLibrary& system_tls() {
    std::string why;
    const TlsLibrary* tls = tls_library(why);
    if (tls == nullptr) throw std::runtime_error(why);
    return *tls;
}

long refuse_the_floor(SSL_CTX* context, int command, long value, void* argument) {
    if (command == SSL_CTRL_SET_MIN_PROTO_VERSION) return 0;
    return system_tls().SSL_CTX_ctrl(context, command, value, argument);
}

// A stream over a socket pair, made TLS through the system's library with the handshake,
// read, write and error calls following the turns.
class ScriptedTls : public ::testing::Test {
  protected:
    ScriptedTls() : m_tls(system_tls()) {
        m_tls.SSL_connect = [](SSL*) { return take_turn(nullptr); };
        m_tls.SSL_read = [](SSL*, void* buffer, int) { return take_turn(buffer); };
        m_tls.SSL_write = [](SSL*, const void*, int) { return take_turn(nullptr); };
        m_tls.SSL_get_error = [](const SSL*, int) { return last_code; };
    }
    std::optional<support::Failure> start(std::deque<Turn> script) {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        m_peer = support::Fd(ends[1]);
        m_stream = Stream(support::Fd(ends[0]), 1000);
        turns = std::move(script);
        return m_stream.start_tls({"127.0.0.1", 443, false, {}}, m_tls);
    }
    // The bytes of one read_some, and what else it brought in `read`.
    std::string read(Stream::Read& read) {
        char buffer[64];
        read = m_stream.read_some(buffer, sizeof buffer);
        return std::string(buffer, read.size);
    }

    TlsLibrary m_tls;
    support::Fd m_peer;
    Stream m_stream;
};

// An interrupted call is made again; one that failed without an errno of its own is an end
// of file, whatever errno an earlier call left.
TEST_F(ScriptedTls, EachCallIsJudgedByWhatItReported) {
    const Turn interrupted{-1, SSL_ERROR_SYSCALL, {}, EINTR};
    const Turn silent{-1, SSL_ERROR_SYSCALL};
    const auto reason = [](const std::optional<support::Failure>& failure) {
        return failure ? failure->name + " " + std::string(failure->call) : "none";
    };
    EXPECT_EQ(reason(start({interrupted, silent, {1}})), "unexpected end of file SSL_connect()");
    ASSERT_FALSE(start({{1}, interrupted, silent, {5}}));
    EXPECT_EQ(reason(m_stream.send_all("hello")), "unexpected end of file SSL_write()");
    ASSERT_FALSE(start({{1}, {-1, SSL_ERROR_SYSCALL, {}, EAGAIN}, silent}));
    Stream::Read got;
    read(got);
    EXPECT_EQ(got.wait, POLLIN);
    read(got);
    EXPECT_EQ(reason(got.failure), "unexpected end of file SSL_read()");
}

// Records read before an end or a failure are handed over whole, and what stopped them
// comes at the next read, never a record after it; a wait is no end.
TEST_F(ScriptedTls, RecordsBeforeAnEndOrAFailureAreKeptAndTheEndIsHeld) {
    const Turn reset{-1, SSL_ERROR_SYSCALL, {}, ECONNRESET};
    const Turn end{0, SSL_ERROR_ZERO_RETURN};
    const Turn wait{-1, SSL_ERROR_WANT_READ};
    for (const Turn& stop : {reset, end, wait}) {
        ASSERT_FALSE(start({{1},
                            {2, SSL_ERROR_NONE, "ab"},
                            {1, SSL_ERROR_NONE, "c"},
                            stop,
                            {3, SSL_ERROR_NONE, "zzz"}}));
        Stream::Read got;
        EXPECT_EQ(read(got), "abc");
        EXPECT_FALSE(got.failure);
        const std::string next = read(got);
        if (stop.code == SSL_ERROR_WANT_READ) {
            EXPECT_EQ(next, "zzz");
            continue;
        }
        EXPECT_EQ(next, "");
        EXPECT_EQ(got.wait, 0);
        EXPECT_EQ(got.failure ? got.failure->name : "", stop.err ? "Connection reset by peer" : "");
    }
}

// A setting that does not take fails the handshake before it starts, naming the call when
// OpenSSL queued no words for it.
TEST_F(ScriptedTls, ARefusedSettingIsAHandshakeFailure) {
    m_tls.SSL_CTX_ctrl = refuse_the_floor;
    const auto failure = start({{1}});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->what, support::Problem::connect);
    EXPECT_EQ(failure->name + " " + std::string(failure->call),
              "SSL_CTX_set_min_proto_version() failed SSL_connect()");
    EXPECT_EQ(turns.size(), 1u);  // no handshake was tried
}

}  // namespace
}  // namespace http
