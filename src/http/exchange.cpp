#include "http/exchange.h"

#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <vector>

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
    std::array<char, k_receive_size + 1> area{};
    // Each block write would overwrite the previous block's tail, so the spool ends up as
    // the received bytes followed by the tail of the last block alone. Gathering the
    // received bytes and writing them in large pieces gives the same file with far fewer
    // writes.
    std::vector<char> pending;
    pending.reserve(k_spool_batch);
    Received received;
    std::int64_t chunks = 0;
    std::size_t last = 0;

    const auto write_pending = [&]() -> int {
        const std::int64_t offset = received.total - static_cast<std::int64_t>(pending.size());
        const int err = support::write_at(spool, offset, {pending.data(), pending.size()});
        pending.clear();
        return err;
    };
    const auto write_last_tail = [&]() -> int {
        if (last == 0 || last == k_receive_size) return 0;
        return support::write_at(spool, received.total,
                                 {area.data() + last, k_receive_size - last});
    };

    for (;;) {
        const ssize_t n = ::recv(socket, area.data(), k_receive_size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int recv_err = n < 0 ? errno : 0;
            // a write that failed comes before the receive after it
            int err = write_pending();
            if (err == 0) err = write_last_tail();
            if (err != 0) {
                received.failure = support::Failure{support::Problem::file, err, spool_name};
            } else if (n < 0) {
                received.failure = support::Failure{support::Problem::receive, recv_err, {}};
            }
            return received;
        }
        last = static_cast<std::size_t>(n);
        area[last] = '\0';
        pending.insert(pending.end(), area.data(), area.data() + last);
        received.total += n;
        ++chunks;
        if (log != nullptr) support::print_line(*log, format_step_line(chunks, n, received.total));
        if (pending.size() + k_receive_size > k_spool_batch) {
            if (const int err = write_pending()) {
                received.failure = support::Failure{support::Problem::file, err, spool_name};
                return received;
            }
        }
    }
}

std::string format_step_line(std::int64_t count, std::int64_t n, std::int64_t total) {
    return support::format_number(count) + ". step: " + support::format_number(n) + " of " +
           support::format_number(total);
}

}  // namespace http
