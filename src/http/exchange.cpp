#include "http/exchange.h"

#include <sys/socket.h>

#include <array>
#include <cerrno>

#include "support/file.h"

namespace http {

std::string_view method_text(Method method) { return method == Method::head ? "HEAD" : "GET"; }

std::string build_request_head(Method method, std::string_view host, std::string_view path,
                               std::string_view version) {
    std::string head;
    head.append(method_text(method)).append(" /").append(path).append(" HTTP/1.0\r\n");
    head.append("Host: ").append(host).append("\r\n");
    head.append("Connection: close\r\n");
    head.append("User-Agent: Pageglean ").append(version).append("\r\n");
    return head;
}

std::optional<support::Failure> send_all(int socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return support::Failure{support::Problem::send, errno, {}};
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

Received receive_to_spool(int socket, int spool, const std::string& spool_name,
                          const support::Console* log) {
    // zeroed once per hop and never cleared between receives: the spool's filler is
    // whatever earlier receives left in it
    std::array<char, k_receive_size + 1> buffer{};
    Received received;
    std::int64_t chunks = 0;
    for (;;) {
        const ssize_t n = ::recv(socket, buffer.data(), k_receive_size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            received.failure = support::Failure{support::Problem::receive, errno, {}};
            return received;
        }
        if (n == 0) return received;
        buffer[static_cast<std::size_t>(n)] = '\0';
        const std::string_view block(buffer.data(), k_receive_size);
        if (const int err = support::write_at(spool, received.total, block)) {
            received.failure = support::Failure{support::Problem::file, err, spool_name};
            return received;
        }
        received.total += n;
        ++chunks;
        if (log != nullptr) support::print_line(*log, format_step_line(chunks, n, received.total));
    }
}

std::string format_step_line(std::int64_t count, std::int64_t n, std::int64_t total) {
    return support::format_number(count) + ". step: " + support::format_number(n) + " of " +
           support::format_number(total);
}

}  // namespace http
