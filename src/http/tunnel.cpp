#include "http/tunnel.h"

#include <cerrno>
#include <cstring>

namespace http {

namespace {

// "HTTP/1.0" or "HTTP/1.1", a blank, three digits, then a blank or the end.
bool is_status_line(std::string_view line) {
    if (!line.starts_with("HTTP/1.0 ") && !line.starts_with("HTTP/1.1 ")) return false;
    if (line.size() < 12) return false;
    for (std::size_t i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
    }
    return line.size() == 12 || line[12] == ' ';
}

}  // namespace

std::string connect_head(const Endpoint& server, std::string_view authorization) {
    const std::string host = server.literal_v6 ? "[" + server.host + "]" : server.host;
    const std::string target = host + ":" + std::to_string(server.port);
    std::string head = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n";
    if (!authorization.empty())
        head.append("Proxy-Authorization: ").append(authorization) += "\r\n";
    return head;
}

std::size_t ConnectAnswer::feed(std::string_view bytes) {
    std::size_t used = 0;
    while (used < bytes.size() && m_verdict == TunnelVerdict::reading) {
        const char c = bytes[used++];
        if (++m_taken > k_max_connect_answer) {
            refuse("the proxy's answer has no end");
        } else if (c == '\n') {
            end_line();
        } else if (!m_status_seen || may_be_empty()) {
            // a header line is only looked at for being empty, so it is kept only so far
            m_line += c;
        }
    }
    return used;
}

void ConnectAnswer::end_line() {
    // a CR right before the LF is not the line's
    if (m_line.ends_with('\r')) m_line.pop_back();
    if (!m_status_seen) {
        m_status_seen = true;
        if (m_line.empty()) return refuse("the proxy's answer has no status line");
        if (!is_status_line(m_line) || m_line[9] != '2') return refuse(m_line);
    } else if (m_line.empty()) {
        m_verdict = TunnelVerdict::open;
    }
    m_line.clear();
}

void ConnectAnswer::refuse(std::string reason) {
    m_verdict = TunnelVerdict::refused;
    m_reason = std::move(reason);
}

std::optional<support::Failure> open_tunnel(const Stream& stream, std::string_view head) {
    const auto failure = [](std::string reason) {
        return support::Failure{support::Problem::connect, 0, std::move(reason), "CONNECT"};
    };
    if (auto sent = stream.send_all(std::string(head) + "\r\n")) return sent;

    // a byte at a time: whatever follows the answer belongs to the tunnel
    ConnectAnswer answer;
    char byte = 0;
    while (answer.verdict() == TunnelVerdict::reading) {
        const Stream::Read read = stream.read_some(&byte, 1);
        if (read.failure) return read.failure;
        if (read.wait != 0) {
            const int ready = wait_ready(stream.socket(), read.wait, stream.idle_ms());
            if (ready < 0) return failure(std::strerror(errno));
            if (ready == 0) return failure(std::strerror(ETIMEDOUT));
            continue;
        }
        if (read.size == 0) return failure("the proxy closed the connection");
        answer.feed({&byte, 1});
    }
    if (answer.verdict() == TunnelVerdict::open) return std::nullopt;
    return failure(answer.reason());
}

}  // namespace http
