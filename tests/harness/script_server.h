#pragma once

// A scripted HTTP peer on its own loopback address: for each connection in turn it reads
// the request, sends its chunks with a pause between them, then closes or resets.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace harness {

// orderly: close (over TLS after a close_notify); abrupt: close without a close_notify;
// reset: close with a TCP reset
enum class Close { orderly, abrupt, reset };

// A certificate and its key, made by the openssl command for an IP address.
struct Certificate {
    std::string cert_file;
    std::string key_file;
};

// A self-signed certificate for `ip` in `directory`, under `name`.pem and `name`.key.
Certificate make_certificate(const std::string& directory, const std::string& name,
                             const std::string& ip);

struct Reply {
    std::vector<std::string> chunks;
    // between chunks and before a reset, so each arrives in a receive of its own
    std::chrono::microseconds pause{0};
    Close close = Close::orderly;
};

class ScriptServer {
  public:
    // Listens on address:port and answers one connection per reply, in order.
    ScriptServer(std::string address, std::vector<Reply> replies, std::uint16_t port = 80);
    // The same over TLS on port 443 with the given certificate.
    ScriptServer(std::string address, std::vector<Reply> replies, const Certificate& tls);
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    bool listening() const { return m_listener >= 0; }
    std::uint16_t port() const { return m_port; }

    // The requests received so far, each up to and including its empty line.
    std::vector<std::string> requests() const;

  private:
    void serve();

    void listen_on(const std::string& address, std::uint16_t port);

    std::vector<Reply> m_replies;
    ssl_ctx_st* m_tls = nullptr;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// "HTTP/1.0 200 OK\r\n" + the extra header lines + "\r\n" + body.
std::string http_response(const std::string& body, const std::string& header_lines = "",
                          const std::string& status = "200 OK");

}  // namespace harness
