#include "http/stream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "support/text.h"

namespace http {

namespace {

constexpr std::string_view k_https = "https://";

// OpenSSL's words for what went wrong: a certificate's verification result, the last
// error queued, or the system's text for a failed call underneath.
std::string tls_reason(const SSL* ssl, int result, int err) {
    if (ssl != nullptr) {
        const long verified = SSL_get_verify_result(ssl);
        if (verified != X509_V_OK) return X509_verify_cert_error_string(verified);
    }
    if (const unsigned long queued = ERR_get_error(); queued != 0) {
        ERR_clear_error();
        if (const char* reason = ERR_reason_error_string(queued)) return reason;
        return "error " + std::to_string(queued);
    }
    if (result == 0 || err == 0) return "unexpected end of file";
    return std::strerror(err);
}

bool is_dotted(const std::string& host) {
    in_addr ignored{};
    return ::inet_pton(AF_INET, host.c_str(), &ignored) == 1;
}

}  // namespace

Stream::Stream(support::Fd socket) : m_socket(std::move(socket)) {}

Stream::~Stream() {
    if (m_ssl != nullptr) SSL_free(m_ssl);
    if (m_context != nullptr) SSL_CTX_free(m_context);
}

Stream::Stream(Stream&& other) noexcept
    : m_socket(std::move(other.m_socket)),
      m_context(std::exchange(other.m_context, nullptr)),
      m_ssl(std::exchange(other.m_ssl, nullptr)) {}

Stream& Stream::operator=(Stream&& other) noexcept {
    if (this != &other) {
        Stream gone(std::move(*this));
        m_socket = std::move(other.m_socket);
        m_context = std::exchange(other.m_context, nullptr);
        m_ssl = std::exchange(other.m_ssl, nullptr);
    }
    return *this;
}

std::optional<support::Failure> Stream::start_tls(const std::string& host) {
    const auto failure = [&](int result, int err) {
        return support::Failure{support::Problem::tls_handshake, 0, tls_reason(m_ssl, result, err)};
    };
    ERR_clear_error();
    m_context = SSL_CTX_new(TLS_client_method());
    if (m_context == nullptr) return failure(-1, 0);
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    // an HTTP/1.0 server ends the response by closing, often without close_notify
    SSL_CTX_set_options(m_context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(m_context) != 1) return failure(-1, 0);

    m_ssl = SSL_new(m_context);
    if (m_ssl == nullptr || SSL_set_fd(m_ssl, m_socket.get()) != 1) return failure(-1, 0);
    // an address is checked against the certificate's addresses and is no server name
    if (is_dotted(host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str()) != 1) {
            return failure(-1, 0);
        }
    } else if (SSL_set_tlsext_host_name(m_ssl, host.c_str()) != 1 ||
               SSL_set1_host(m_ssl, host.c_str()) != 1) {
        return failure(-1, 0);
    }
    for (;;) {
        const int result = SSL_connect(m_ssl);
        if (result == 1) return std::nullopt;
        const int err = errno;
        if (SSL_get_error(m_ssl, result) == SSL_ERROR_SYSCALL && err == EINTR) continue;
        return failure(result, err);
    }
}

std::optional<support::Failure> Stream::send_all(std::string_view bytes) const {
    while (!bytes.empty()) {
        if (m_ssl != nullptr) {
            ERR_clear_error();
            const int n = SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size()));
            if (n <= 0) {
                const int err = errno;
                if (SSL_get_error(m_ssl, n) == SSL_ERROR_SYSCALL && err == EINTR) continue;
                return support::Failure{support::Problem::tls_send, 0, tls_reason(nullptr, n, err)};
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        const ssize_t n = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return support::Failure{support::Problem::send, errno, {}};
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

Stream::Read Stream::read_some(char* buffer, std::size_t capacity) const {
    if (m_ssl == nullptr) {
        const ssize_t n = ::recv(m_socket.get(), buffer, capacity, MSG_DONTWAIT);
        if (n >= 0) return Read{static_cast<std::size_t>(n), 0, std::nullopt};
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Read{0, POLLIN, {}};
        return Read{0, 0, support::Failure{support::Problem::receive, errno, {}}};
    }
    ERR_clear_error();
    const int n = SSL_read(m_ssl, buffer, static_cast<int>(capacity));
    if (n > 0) return Read{static_cast<std::size_t>(n), 0, std::nullopt};
    const int err = errno;
    switch (SSL_get_error(m_ssl, n)) {
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
                support::Failure{support::Problem::tls_receive, 0, tls_reason(nullptr, n, err)}};
}

void Stream::close() {
    if (m_socket) ::shutdown(m_socket.get(), SHUT_RDWR);
    m_socket.reset();
}

bool wants_tls(std::string_view tail) {
    return support::lower(support::left(tail, k_https.size())) == k_https;
}

}  // namespace http
