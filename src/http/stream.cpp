#include "http/stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "http/tls_library.h"

namespace http {

namespace {

// The words of the error OpenSSL queued last; empty when none is queued.
std::string queued_reason(const TlsLibrary& tls) {
    const unsigned long queued = tls.ERR_get_error();
    if (queued == 0) return {};
    tls.ERR_clear_error();
    if (const char* reason = tls.ERR_reason_error_string(queued)) return reason;
    return "error " + std::to_string(queued);
}

// OpenSSL's words for what went wrong in a call on the connection: a certificate's
// verification result, the last error queued, or the system's text for a failed call
// underneath; a call that met the end of the socket sets no errno.
std::string tls_reason(const TlsLibrary& tls, const SSL* ssl, int result, int err) {
    if (ssl != nullptr) {
        const long verified = tls.SSL_get_verify_result(ssl);
        if (verified != X509_V_OK) return tls.X509_verify_cert_error_string(verified);
    }
    if (std::string reason = queued_reason(tls); !reason.empty()) return reason;
    if (result == 0 || err == 0) return "unexpected end of file";
    return std::strerror(err);
}

bool is_dotted(const std::string& host) {
    in_addr ignored{};
    return ::inet_pton(AF_INET, host.c_str(), &ignored) == 1;
}

// What OpenSSL wants before a call that could not finish can go on: 0 when it is no wait.
short tls_wait(int code) {
    if (code == SSL_ERROR_WANT_READ) return POLLIN;
    if (code == SSL_ERROR_WANT_WRITE) return POLLOUT;
    return 0;
}

}  // namespace

Stream::Stream(support::Fd socket, std::int64_t idle_ms)
    : m_socket(std::move(socket)), m_idle_ms(idle_ms) {
    // every wait happens in a poll, where a time limit or a signal can end it
    const int flags = ::fcntl(m_socket.get(), F_GETFL);
    if (flags >= 0) (void)::fcntl(m_socket.get(), F_SETFL, flags | O_NONBLOCK);
}

Stream::~Stream() {
    if (m_ssl != nullptr) m_tls->SSL_free(m_ssl);
    if (m_context != nullptr) m_tls->SSL_CTX_free(m_context);
}

Stream::Stream(Stream&& other) noexcept
    : m_socket(std::move(other.m_socket)),
      m_idle_ms(other.m_idle_ms),
      m_deadline(other.m_deadline),
      m_tls(other.m_tls),
      m_context(std::exchange(other.m_context, nullptr)),
      m_ssl(std::exchange(other.m_ssl, nullptr)),
      m_held(std::exchange(other.m_held, std::nullopt)) {}

Stream& Stream::operator=(Stream&& other) noexcept {
    if (this != &other) {
        Stream gone(std::move(*this));
        m_socket = std::move(other.m_socket);
        m_idle_ms = other.m_idle_ms;
        m_deadline = other.m_deadline;
        m_tls = other.m_tls;
        m_context = std::exchange(other.m_context, nullptr);
        m_ssl = std::exchange(other.m_ssl, nullptr);
        m_held = std::exchange(other.m_held, std::nullopt);
    }
    return *this;
}

std::int64_t Stream::idle_ms() const {
    if (m_deadline < 0) return m_idle_ms;
    const std::int64_t left = ms_left(m_deadline);
    return m_idle_ms < 0 ? left : std::min(m_idle_ms, left);
}

support::Failure Stream::failure(support::Problem what, int err) const {
    using enum support::Problem;
    if (m_ssl == nullptr) {
        return {what, err, {}, what == send ? "send()" : what == receive ? "recv()" : "connect()"};
    }
    return {what, 0, std::strerror(err),
            what == send      ? "SSL_write()"
            : what == receive ? "SSL_read()"
                              : "SSL_connect()"};
}

std::optional<support::Failure> Stream::start_tls(const Endpoint& endpoint) {
    std::string why;
    const TlsLibrary* tls = tls_library(why);
    if (tls == nullptr) {
        return support::Failure{support::Problem::connect, 0, std::move(why), "SSL_connect()"};
    }
    return start_tls(endpoint, *tls);
}

std::optional<support::Failure> Stream::start_tls(const Endpoint& endpoint, const TlsLibrary& tls) {
    m_tls = &tls;
    const auto failure = [&](int result, int err) {
        return support::Failure{support::Problem::connect, 0, tls_reason(tls, m_ssl, result, err),
                                "SSL_connect()"};
    };
    // a setting that did not take is no connection to trust; without OpenSSL's words for
    // it, the call that refused it is named
    const auto refused = [&](std::string_view call) {
        std::string reason = queued_reason(tls);
        if (reason.empty()) reason = std::string(call) + " failed";
        return support::Failure{support::Problem::connect, 0, std::move(reason), "SSL_connect()"};
    };
    tls.ERR_clear_error();
    m_context = tls.SSL_CTX_new(tls.TLS_client_method());
    if (m_context == nullptr) return refused("SSL_CTX_new()");
    if (tls.SSL_CTX_ctrl(m_context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr) != 1) {
        return refused("SSL_CTX_set_min_proto_version()");
    }
    // the three setters below cannot refuse: they only set bits of the context
    // an HTTP/1.0 server ends the response by closing, often without close_notify
    tls.SSL_CTX_set_options(m_context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    tls.SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    // whole socket reads rather than a record's header and body one by one
    tls.SSL_CTX_ctrl(m_context, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
    if (tls.SSL_CTX_set_default_verify_paths(m_context) != 1) {
        return refused("SSL_CTX_set_default_verify_paths()");
    }

    m_ssl = tls.SSL_new(m_context);
    if (m_ssl == nullptr) return refused("SSL_new()");
    if (tls.SSL_set_fd(m_ssl, m_socket.get()) != 1) return refused("SSL_set_fd()");
    // an address is checked against the certificate's addresses and is no server name
    const std::string& host = endpoint.host;
    if (endpoint.literal_v6 || is_dotted(host)) {
        if (tls.X509_VERIFY_PARAM_set1_ip_asc(tls.SSL_get0_param(m_ssl), host.c_str()) != 1) {
            return refused("X509_VERIFY_PARAM_set1_ip_asc()");
        }
    } else if (tls.SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                            const_cast<char*>(host.c_str())) != 1) {
        return refused("SSL_set_tlsext_host_name()");
    } else if (tls.SSL_set1_host(m_ssl, host.c_str()) != 1) {
        return refused("SSL_set1_host()");
    }
    for (;;) {
        tls.ERR_clear_error();
        errno = 0;  // an errno left by an earlier call must not pass for this one's
        const int result = tls.SSL_connect(m_ssl);
        if (result == 1) return std::nullopt;
        const int err = errno;
        const int code = tls.SSL_get_error(m_ssl, result);
        const short wait = tls_wait(code);
        if (wait == 0 && !(code == SSL_ERROR_SYSCALL && err == EINTR)) return failure(result, err);
        if (wait != 0) {
            const int ready = wait_ready(m_socket.get(), wait, idle_ms());
            if (ready < 0) return failure(-1, errno);
            if (ready == 0) return this->failure(support::Problem::connect, ETIMEDOUT);
        }
    }
}

std::optional<support::Failure> Stream::send_all(std::string_view bytes) const {
    while (!bytes.empty()) {
        short wait = 0;
        if (m_ssl != nullptr) {
            m_tls->ERR_clear_error();
            errno = 0;  // an errno left by an earlier call must not pass for this one's
            const int n = m_tls->SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size()));
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            const int err = errno;
            const int code = m_tls->SSL_get_error(m_ssl, n);
            wait = tls_wait(code);
            if (wait == 0 && !(code == SSL_ERROR_SYSCALL && err == EINTR)) {
                return support::Failure{support::Problem::send, 0,
                                        tls_reason(*m_tls, nullptr, n, err), "SSL_write()"};
            }
        } else {
            const ssize_t n = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n >= 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                wait = POLLOUT;
            } else if (errno != EINTR) {
                return failure(support::Problem::send, errno);
            }
        }
        if (wait != 0) {
            const int ready = wait_ready(m_socket.get(), wait, idle_ms());
            if (ready < 0) return failure(support::Problem::send, errno);
            if (ready == 0) return failure(support::Problem::send, ETIMEDOUT);
        }
    }
    return std::nullopt;
}

Stream::Read Stream::read_some(char* buffer, std::size_t capacity) const {
    if (m_ssl == nullptr) {
        const ssize_t n = ::recv(m_socket.get(), buffer, capacity, MSG_DONTWAIT);
        if (n >= 0) return Read{static_cast<std::size_t>(n), 0, std::nullopt};
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Read{0, POLLIN, {}};
        return Read{0, 0, support::Failure{support::Problem::receive, errno, {}, "recv()"}};
    }
    if (m_held) return *std::exchange(m_held, std::nullopt);
    // OpenSSL hands over one record, 16 KiB at most, per call: the records that are here are
    // taken together, as a plain receive takes every byte that has arrived
    std::size_t got = 0;
    while (got < capacity) {
        Read read = read_record(buffer + got, capacity - got);
        if (read.size == 0) {
            if (got == 0) return read;
            // an end or a failure after the bytes before it is told at the next read
            if (read.wait == 0) m_held = std::move(read);
            break;
        }
        got += read.size;
    }
    return Read{got, 0, std::nullopt};
}

Stream::Read Stream::splice_some(int pipe, std::size_t capacity) const {
    const ssize_t n = ::splice(m_socket.get(), nullptr, pipe, nullptr, capacity, SPLICE_F_NONBLOCK);
    if (n >= 0) return Read{static_cast<std::size_t>(n), 0, std::nullopt};
    const int err = errno;
    // the pipe is emptied before each call, so a wait is the socket's
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return Read{0, POLLIN, {}};
    return Read{0, 0, failure(support::Problem::receive, err)};
}

Stream::Read Stream::read_record(char* buffer, std::size_t capacity) const {
    m_tls->ERR_clear_error();
    errno = 0;  // an errno left by an earlier call must not pass for this one's
    const int n = m_tls->SSL_read(
        m_ssl, buffer, static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)));
    if (n > 0) return Read{static_cast<std::size_t>(n), 0, std::nullopt};
    const int err = errno;
    switch (m_tls->SSL_get_error(m_ssl, n)) {
        case SSL_ERROR_ZERO_RETURN:
            return Read{};
        case SSL_ERROR_WANT_READ:
            return Read{0, POLLIN, std::nullopt};
        case SSL_ERROR_WANT_WRITE:
            return Read{0, POLLOUT, std::nullopt};
        case SSL_ERROR_SYSCALL:
            if (err == EINTR || err == EAGAIN) return Read{0, POLLIN, std::nullopt};
            break;
        default:
            break;
    }
    return Read{0, 0,
                support::Failure{support::Problem::receive, 0, tls_reason(*m_tls, nullptr, n, err),
                                 "SSL_read()"}};
}

void Stream::close() {
    if (m_socket) ::shutdown(m_socket.get(), SHUT_RDWR);
    m_socket.reset();
}

}  // namespace http
