#include "harness/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace harness {

namespace {

constexpr int k_poll_ms = 50;  // how often the thread looks at the stop flag

// A connection, plain or TLS.
struct Peer {
    int fd;
    SSL* ssl;

    void send_all(const std::string& bytes) const {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const auto size = bytes.size() - sent;
            const long n = ssl != nullptr
                               ? SSL_write(ssl, bytes.data() + sent, static_cast<int>(size))
                               : ::send(fd, bytes.data() + sent, size, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    long receive(char* buffer, std::size_t size) const {
        return ssl != nullptr ? SSL_read(ssl, buffer, static_cast<int>(size))
                              : ::recv(fd, buffer, size, 0);
    }
};

}  // namespace

ScriptServer::ScriptServer(std::string address, std::vector<Reply> replies, std::uint16_t port)
    : m_replies(std::move(replies)) {
    listen_on(address, port);
}

ScriptServer::ScriptServer(std::string address, std::vector<Reply> replies, const Certificate& tls)
    : m_replies(std::move(replies)) {
    m_tls = SSL_CTX_new(TLS_server_method());
    if (SSL_CTX_use_certificate_file(m_tls, tls.cert_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_tls, tls.key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
        return;
    }
    listen_on(address, 443);
}

void ScriptServer::listen_on(const std::string& address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return;
    }
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    m_port = ntohs(local.sin_port);
    m_listener = fd;
    m_thread = std::thread([this] { serve(); });
}

ScriptServer::~ScriptServer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) ::close(m_listener);
    if (m_tls != nullptr) SSL_CTX_free(m_tls);
}

std::vector<std::string> ScriptServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void ScriptServer::serve() {
    // SSL_write has no MSG_NOSIGNAL: a client that has gone must not end the test process
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (const Reply& reply : m_replies) {
        pollfd waiting{m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&waiting, 1, k_poll_ms) == 0) {
        }
        if (m_stop) return;
        const int peer = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) return;
        const int on = 1;  // small chunks leave at once instead of waiting for an ack
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const timeval limit{5, 0};  // a client that says nothing is not waited for long
        ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        Peer connection{peer, nullptr};
        if (m_tls != nullptr) {
            connection.ssl = SSL_new(m_tls);
            SSL_set_fd(connection.ssl, peer);
            if (SSL_accept(connection.ssl) != 1) {
                // a client that refused the certificate: nothing was asked
                SSL_free(connection.ssl);
                ::close(peer);
                continue;
            }
        }

        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const long n = connection.receive(buffer, sizeof buffer);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        for (std::size_t i = 0; i < reply.chunks.size(); ++i) {
            if (i > 0 && reply.pause.count() > 0) {
                std::this_thread::sleep_for(reply.pause);
            }
            connection.send_all(reply.chunks[i]);
        }
        if (connection.ssl != nullptr) {
            if (reply.close == Close::orderly) SSL_shutdown(connection.ssl);
            SSL_free(connection.ssl);
        }
        if (reply.close == Close::reset) {
            std::this_thread::sleep_for(reply.pause);
            const linger abort{1, 0};
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        ::close(peer);
    }
}

Certificate make_certificate(const std::string& directory, const std::string& name,
                             const std::string& ip) {
    Certificate made{directory + "/" + name + ".pem", directory + "/" + name + ".key"};
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + ip +
        " -addext subjectAltName=IP:" + ip + " -keyout '" + made.key_file + "' -out '" +
        made.cert_file + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) made = {};
    return made;
}

std::string http_response(const std::string& body, const std::string& header_lines,
                          const std::string& status) {
    return "HTTP/1.0 " + status + "\r\n" + header_lines + "\r\n" + body;
}

}  // namespace harness
