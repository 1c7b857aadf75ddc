#include "harness/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace harness {

namespace {

constexpr int k_poll_ms = 50;  // how often the thread looks at the stop flag

void send_all(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

ScriptServer::ScriptServer(std::string address, std::vector<Reply> replies, std::uint16_t port)
    : m_replies(std::move(replies)) {
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
}

std::vector<std::string> ScriptServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void ScriptServer::serve() {
    for (const Reply& reply : m_replies) {
        pollfd waiting{m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&waiting, 1, k_poll_ms) == 0) {
        }
        if (m_stop) return;
        const int peer = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) return;
        const int on = 1;  // small chunks leave at once instead of waiting for an ack
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd readable{peer, POLLIN, 0};
            if (::poll(&readable, 1, 5000) <= 0) break;
            const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
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
            send_all(peer, reply.chunks[i]);
        }
        if (reply.close == Close::reset) {
            std::this_thread::sleep_for(reply.pause);
            const linger abort{1, 0};
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        ::close(peer);
    }
}

std::string http_response(const std::string& body, const std::string& header_lines,
                          const std::string& status) {
    return "HTTP/1.0 " + status + "\r\n" + header_lines + "\r\n" + body;
}

}  // namespace harness
