#pragma once

// A connected socket that speaks plain HTTP or TLS. Everything after the connect reads and
// writes through it, so nothing else knows which one it has.

#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/endpoint.h"
#include "http/timeouts.h"
#include "support/failure.h"
#include "support/fd.h"

namespace http {

struct TlsLibrary;

class Stream {
  public:
    Stream() = default;
    ~Stream();
    Stream(Stream&& other) noexcept;
    Stream& operator=(Stream&& other) noexcept;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // A plain stream over a connected, non-blocking socket, whose sends and handshake
    // give up after idle_ms without progress.
    Stream(support::Fd socket, std::int64_t idle_ms);

    // Makes the stream TLS: a handshake of TLS 1.2 or later with the endpoint's host (sent
    // as SNI when it is a name), its certificate verified against the system's trust store
    // (SSL_CERT_FILE and SSL_CERT_DIR are honoured) and its name or address checked. A
    // failure carries OpenSSL's reason as its name; a setting refused with no reason queued,
    // the call that refused it.
    [[nodiscard]] std::optional<support::Failure> start_tls(const Endpoint& endpoint);
    // The same through the given calls: the system's library, or one with calls replaced.
    [[nodiscard]] std::optional<support::Failure> start_tls(const Endpoint& endpoint,
                                                            const TlsLibrary& tls);

    // A failure of the stream's handshake (connect), send or receive with errno `err`: the
    // number over a plain socket, the system's words for it over TLS, each with its call.
    support::Failure failure(support::Problem what, int err) const;

    int socket() const { return m_socket.get(); }

    // Ends every wait of the stream by `deadline` (from deadline_in; -1: no end): the
    // connect phase's bound, lifted again before the request.
    void bound_until(std::int64_t deadline) { m_deadline = deadline; }

    // How long the next wait may go without progress: the idle figure, less when the
    // bound comes sooner (0 once it has passed); -1: no limit.
    std::int64_t idle_ms() const;

    // Sends every byte, continuing partial sends; a peer that has gone gives a send
    // failure, never SIGPIPE.
    [[nodiscard]] std::optional<support::Failure> send_all(std::string_view bytes) const;

    // What one read brought.
    struct Read {
        std::size_t size = 0;  // bytes read; 0 with no failure and no wait: the peer closed
        short wait = 0;        // when not 0: nothing yet, poll the socket for these events
        std::optional<support::Failure> failure;
    };

    // Reads what has arrived, up to `capacity` bytes, without blocking. A TLS peer that
    // closes without close_notify closes in order: the response's own length tells
    // whether anything is missing.
    Read read_some(char* buffer, std::size_t capacity) const;

    // Whether the socket's bytes are the response itself (no TLS), so the kernel can move
    // them to a file without passing them through a buffer.
    bool is_plain() const { return m_ssl == nullptr; }

    // On a plain stream, moves what has arrived, up to `capacity` bytes, into the pipe's
    // write end without blocking and without copying it to user space; as read_some
    // otherwise. A socket or pipe that cannot do it fails with EINVAL or ENOSYS.
    Read splice_some(int pipe, std::size_t capacity) const;

    // Shuts both directions down and closes.
    void close();

  private:
    // One SSL_read: a record's bytes, or what stands in their way.
    Read read_record(char* buffer, std::size_t capacity) const;

    support::Fd m_socket;
    std::int64_t m_idle_ms = -1;
    std::int64_t m_deadline = -1;
    const TlsLibrary* m_tls = nullptr;  // OpenSSL, once the stream speaks TLS
    SSL_CTX* m_context = nullptr;
    SSL* m_ssl = nullptr;
    mutable std::optional<Read> m_held;  // the end or failure met after bytes already read
};

}  // namespace http
