#pragma once

// A connected socket that speaks plain HTTP or TLS. Everything after the connect reads and
// writes through it, so nothing else knows which one it has.

#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/failure.h"
#include "support/fd.h"

namespace http {

class Stream {
  public:
    Stream() = default;
    ~Stream();
    Stream(Stream&& other) noexcept;
    Stream& operator=(Stream&& other) noexcept;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // A plain stream over a connected socket.
    explicit Stream(support::Fd socket);

    // Makes the stream TLS: a handshake of TLS 1.2 or later with `host` (sent as SNI when
    // it is a name), its certificate verified against the system's trust store
    // (SSL_CERT_FILE and SSL_CERT_DIR are honoured) and its name or address checked. A
    // failure carries OpenSSL's reason as its name.
    [[nodiscard]] std::optional<support::Failure> start_tls(const std::string& host);

    int socket() const { return m_socket.get(); }

    // Sends every byte, continuing partial sends; a peer that has gone gives a send
    // failure, never SIGPIPE.
    [[nodiscard]] std::optional<support::Failure> send_all(std::string_view bytes) const;

    // What one read brought.
    struct Read {
        std::size_t size = 0;  // bytes read; 0 with no failure and no wait: the peer closed
        short wait = 0;        // when not 0: nothing yet, poll the socket for these events
        std::optional<support::Failure> failure;
    };

    // Reads what has arrived, up to `capacity` bytes, without blocking once the socket is
    // made non-blocking. A TLS peer that closes without close_notify closes in order.
    Read read_some(char* buffer, std::size_t capacity) const;

    // Shuts both directions down and closes.
    void close();

  private:
    support::Fd m_socket;
    SSL_CTX* m_context = nullptr;
    SSL* m_ssl = nullptr;
};

// Whether a command tail asks for TLS: it begins with "https://" in any case.
bool wants_tls(std::string_view tail);

}  // namespace http
