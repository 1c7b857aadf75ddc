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

namespace harness {

enum class Close { orderly, reset };

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
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    bool listening() const { return m_listener >= 0; }
    std::uint16_t port() const { return m_port; }

    // The requests received so far, each up to and including its empty line.
    std::vector<std::string> requests() const;

  private:
    void serve();

    std::vector<Reply> m_replies;
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
