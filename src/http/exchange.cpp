#include "http/exchange.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>
#include <span>

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

// How many of a piece's last bytes ReceiveArea::take looks at: those of its last 8 KiB
// receive and of the full one before it.
std::size_t area_tail(std::size_t piece) {
    return std::min(piece, (piece - 1) % k_receive_size + 1 + k_receive_size);
}

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

// The pipe through which a plain stream's bytes go from the socket to the spool inside the
// kernel: pages are handed over from the socket, then copied once, into the spool's page
// cache. Without descriptors, there is none and the buffer does the work.
struct ReceivePipe {
    support::Fd read_end;
    support::Fd write_end;
    std::size_t capacity = 0;  // what one splice from the socket may bring

    explicit operator bool() const { return static_cast<bool>(read_end); }
};

// A pipe for the receive, as large as the system lets it be up to k_receive_piece; none
// where no descriptor or pipe is left (EMFILE, ENFILE).
ReceivePipe make_receive_pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return {};
    ReceivePipe pipe{support::Fd(ends[0]), support::Fd(ends[1])};
    // a user past the pipe quota keeps a small pipe, which only means more calls
    int size = ::fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(k_receive_piece));
    if (size <= 0) size = ::fcntl(ends[1], F_GETPIPE_SZ);
    pipe.capacity =
        size > 0 ? std::min(static_cast<std::size_t>(size), k_receive_piece) : k_receive_size;
    return pipe;
}

bool is_unsupported(int err) { return err == EINVAL || err == ENOSYS; }

// Whether the socket's next byte is one its server sent as urgent (sockatmark, with its
// answer set before the call, as checkers of memory expect).
bool at_urgent_mark(int socket) {
    int at = 0;
    return ::ioctl(socket, SIOCATMARK, &at) == 0 && at != 0;
}

// What moving a piece from the pipe to the spool did: the bytes that reached it, and the
// errno of the write that failed (0: all of them).
struct Drained {
    std::size_t moved = 0;
    int err = 0;
};

Drained drain_to_spool(const ReceivePipe& pipe, int spool, std::int64_t offset, std::size_t count) {
    Drained drained;
    while (drained.moved < count) {
        loff_t at = offset + static_cast<std::int64_t>(drained.moved);
        const ssize_t n =
            ::splice(pipe.read_end.get(), nullptr, spool, &at, count - drained.moved, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            drained.err = errno;
            break;
        }
        // the bytes are in the pipe, so nothing moved is a file that took none
        if (n == 0) {
            drained.err = EIO;
            break;
        }
        drained.moved += static_cast<std::size_t>(n);
    }
    return drained;
}

// Reads exactly bytes.size() bytes at offset. 0, or the errno (EIO when the file is short).
int read_exactly(int fd, std::int64_t offset, std::span<char> bytes) {
    const std::int64_t n = support::read_at(fd, offset, bytes);
    if (n < 0) return errno;
    return n == static_cast<std::int64_t>(bytes.size()) ? 0 : EIO;
}

// Shows the length check and the receive area a piece that is already in the spool at
// `offset`, reading back only what they still look at: the bytes up to the header's end,
// and the piece's last 16 KiB at most. They come from the page cache the piece went to.
// 0, or the errno of the read.
int take_from_spool(int spool, std::int64_t offset, std::size_t size, LengthCheck& length,
                    ReceiveArea& area) {
    std::array<char, 2 * k_receive_size> bytes;
    std::size_t front = 0;
    while (length.needs_bytes() && front < size) {
        const std::size_t n = std::min(size - front, bytes.size());
        if (const int err = read_exactly(spool, offset + static_cast<std::int64_t>(front),
                                         std::span(bytes.data(), n))) {
            return err;
        }
        length.feed({bytes.data(), n});
        front += n;
    }
    length.count_body(static_cast<std::int64_t>(size - front));
    const std::size_t tail = area_tail(size);
    // a piece the length check read in one go is still in the buffer, whole
    if (front != size || size > bytes.size()) {
        if (const int err = read_exactly(spool, offset + static_cast<std::int64_t>(size - tail),
                                         std::span(bytes.data(), tail))) {
            return err;
        }
    }
    area.take({bytes.data(), tail});
    return 0;
}

// Empties the pipe into `buffer`, which holds count bytes or more. 0, or the errno.
int read_pipe(const ReceivePipe& pipe, char* buffer, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
        const ssize_t n = ::read(pipe.read_end.get(), buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
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
    // a plain stream's bytes go from the socket to the spool in the kernel; where that
    // cannot be, they pass through the buffer
    ReceivePipe pipe;
    if (stream.is_plain()) pipe = make_receive_pipe();
    // left uninitialised: only the bytes a receive brings are ever read from it
    std::unique_ptr<char[]> buffer;
    const std::size_t buffer_size = stream.is_plain() ? k_receive_piece : k_tls_receive_piece;
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
    // a spool that fails its write or its read back leaves its filler unwritten
    const auto spool_failure = [&](int err, std::string_view call) {
        received.failure = support::file_failure(err, spool_name, call);
        received.signal = signals.restore();
        return received;
    };
    const auto make_buffer = [&] {
        if (!buffer) buffer.reset(new (std::nothrow) char[buffer_size]);
        return buffer != nullptr;
    };

    for (;;) {
        if (signals.noted() != 0) return end_receive(std::nullopt);
        if (!pipe && !make_buffer()) return end_receive(receive_failure(ENOMEM));
        const Stream::Read read = pipe ? stream.splice_some(pipe.write_end.get(), pipe.capacity)
                                       : stream.read_some(buffer.get(), buffer_size);
        if (read.failure && pipe && received.total == 0 && is_unsupported(read.failure->err)) {
            pipe = {};  // a socket that cannot splice: nothing has moved yet
            continue;
        }
        if (read.failure) return end_receive(read.failure);
        // splice stops at a byte the server sent as urgent, as if nothing more came or the
        // stream had ended; only a receive passes it (and drops it), so the rest goes so
        if (pipe && read.size == 0 && at_urgent_mark(stream.socket())) {
            pipe = {};
            continue;
        }
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
        if (pipe) {
            const Drained drained = drain_to_spool(pipe, spool, received.total, read.size);
            if (drained.err == 0) {
                if (const int err =
                        take_from_spool(spool, received.total, read.size, length, area)) {
                    return spool_failure(err, "pread");
                }
                if (log != nullptr) {
                    support::print(*log, step_lines(chunks, received.total, read.size));
                }
                received.total += static_cast<std::int64_t>(read.size);
                continue;
            }
            // a spool that cannot take a splice gets the first piece, and the rest, through
            // the buffer; a write that failed otherwise is the spool's, as a pwrite's would be
            if (drained.moved != 0 || received.total != 0 || !is_unsupported(drained.err)) {
                return spool_failure(drained.err, "pwrite");
            }
            if (!make_buffer()) return end_receive(receive_failure(ENOMEM));
            if (const int err = read_pipe(pipe, buffer.get(), read.size)) {
                return end_receive(receive_failure(err));
            }
            pipe = {};
        }
        const std::string_view piece(buffer.get(), read.size);
        if (const int err = support::write_at(spool, received.total, piece)) {
            return spool_failure(err, "pwrite");
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
