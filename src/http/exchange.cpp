#include "http/exchange.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>

#include "http/length_check.h"
#include "support/file.h"
#include "support/signals.h"

namespace http {

std::string build_request_head(Method method, const support::Url& url, std::string_view version,
                               const std::optional<Proxy>& proxy, std::string_view authorization) {
    std::string head;
    head.append(method_text(method)).append(" ");
    const std::string authority = authority_sent(url);
    if (proxy) head.append("http://").append(authority);
    head.append(request_target(url.path)).append(" HTTP/1.0\r\n");
    head.append("Host: ").append(authority).append("\r\n");
    head.append("Connection: close\r\n");
    head.append("User-Agent: Pageglean ").append(version).append("\r\n");
    if (!authorization.empty()) {
        head.append("Authorization: ").append(authorization).append("\r\n");
    }
    if (proxy && !proxy->authorization.empty()) {
        head.append("Proxy-Authorization: ").append(proxy->authorization).append("\r\n");
    }
    return head;
}

namespace {

// The receive area of a reader that takes 8,192 bytes at a time: each receive of n bytes
// leaves them at its front and a zero byte behind them, and what earlier, longer receives
// left stays beyond that. Its tail after the last receive is the spool's filler.
class ReceiveArea {
  public:
    // Takes a piece as the run of 8 KiB receives that would have brought it: only the last
    // one, and the full one before it, leave bytes that can still be seen.
    void take(std::string_view piece) {
        m_last = (piece.size() - 1) % k_receive_size + 1;
        if (piece.size() > m_last) {
            std::memcpy(m_bytes.data(), piece.data() + piece.size() - m_last - k_receive_size,
                        k_receive_size);
        }
        std::memcpy(m_bytes.data(), piece.data() + piece.size() - m_last, m_last);
        m_bytes[m_last] = '\0';
    }

    // What a block write after the last receive leaves behind the received bytes: the zero
    // byte and the rest of the block; nothing after a full receive or none at all.
    std::string_view filler() const {
        if (m_last == 0) return {};
        return {m_bytes.data() + m_last, k_receive_size - m_last};
    }

  private:
    std::array<char, k_receive_size + 1> m_bytes{};  // + 1: the zero byte after a full receive
    std::size_t m_last = 0;
};

// One step line per 8 KiB receive of the piece, in one string for one console write.
std::string step_lines(std::int64_t& chunks, std::int64_t total, std::size_t piece) {
    std::string lines;
    for (std::size_t done = 0; done < piece;) {
        const std::size_t n = std::min(piece - done, k_receive_size);
        done += n;
        lines += format_step_line(++chunks, static_cast<std::int64_t>(n),
                                  total + static_cast<std::int64_t>(done));
        lines += "\r\n";
    }
    return lines;
}

}  // namespace

Received receive_to_spool(const Stream& stream, Method method, std::int64_t idle_ms, int spool,
                          const std::string& spool_name, const support::Console* log) {
    // a signal that ends the run waits until what has arrived is in the spool; the note is
    // read as the old handlers come back, which then take any later one
    support::SignalNote signals({SIGINT, SIGTERM, SIGHUP});
    const auto receive_failure = [&](int err) {
        return stream.failure(support::Problem::receive, err);
    };
    Received received;
    // left uninitialised: only the bytes a receive brings are ever read from it
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[k_receive_piece]);
    if (!buffer) {
        received.failure = receive_failure(ENOMEM);
        received.signal = signals.restore();
        return received;
    }
    ReceiveArea area;
    LengthCheck length;
    std::int64_t chunks = 0;

    // the spool's last block ends with the filler a receive area leaves behind, whatever
    // ended the receive; a failure to write it outranks that ending
    const auto end_receive = [&](std::optional<support::Failure> failure) {
        if (const int err = support::write_at(spool, received.total, area.filler())) {
            failure = support::file_failure(err, spool_name, "pwrite");
        }
        received.failure = std::move(failure);
        received.signal = signals.restore();
        return received;
    };

    for (;;) {
        if (signals.noted() != 0) return end_receive(std::nullopt);
        const Stream::Read read = stream.read_some(buffer.get(), k_receive_piece);
        if (read.failure) return end_receive(read.failure);
        if (read.wait != 0) {
            const int ready = signals.wait(stream.socket(), read.wait, idle_ms);
            if (ready < 0) return end_receive(receive_failure(errno));
            // a time that ran out without a signal: the peer has gone silent
            if (ready == 0 && signals.noted() == 0) return end_receive(receive_failure(ETIMEDOUT));
            continue;
        }
        if (read.size == 0) {
            if (auto why = length.shortfall(method)) {
                // the words stand where a number would; the call is the receive's
                return end_receive(support::Failure{support::Problem::receive, 0, std::move(*why),
                                                    receive_failure(0).call});
            }
            return end_receive(std::nullopt);
        }

        // every piece is in the spool before the next receive, so a pause or a signal
        // never leaves arrived bytes unwritten
        const std::string_view piece(buffer.get(), read.size);
        if (const int err = support::write_at(spool, received.total, piece)) {
            received.failure = support::file_failure(err, spool_name, "pwrite");
            received.signal = signals.restore();
            return received;
        }
        area.take(piece);
        length.feed(piece);
        if (log != nullptr) support::print(*log, step_lines(chunks, received.total, piece.size()));
        received.total += static_cast<std::int64_t>(read.size);
    }
}

std::string format_step_line(std::int64_t count, std::int64_t n, std::int64_t total) {
    return support::format_number(count) + ". step: " + support::format_number(n) + " of " +
           support::format_number(total);
}

}  // namespace http
