#pragma once

// Real web servers as peers: an nginx with its own configuration, and Python's http.server,
// each started by the test on its own loopback address and stopped with it.

#include <sys/types.h>

#include <string>
#include <vector>

namespace harness {

class RealServer {
  public:
    // nginx on 127.0.0.80:80 serving `root`, with /relative, /absolute and /loop redirects.
    static RealServer nginx(const std::string& root, const std::string& state_dir);
    // python3 -m http.server on 127.0.0.81:80 serving `root`.
    static RealServer python(const std::string& root);

    ~RealServer();
    RealServer(RealServer&& other) noexcept;
    RealServer& operator=(RealServer&&) = delete;
    RealServer(const RealServer&) = delete;

    // Whether it answers on its port; when not, why.
    bool running() const { return m_problem.empty(); }
    const std::string& problem() const { return m_problem; }

  private:
    RealServer() = default;
    void start(const std::vector<std::string>& command, const std::string& address);

    pid_t m_pid = -1;
    std::string m_problem;
};

// The first program of that name on PATH; empty when there is none.
std::string find_program(const std::string& name);

}  // namespace harness

// A missing server skips the test on a developer's machine and fails it in CI.
#define REQUIRE_SERVER(server)                                              \
    do {                                                                    \
        if (!(server).running()) {                                          \
            if (std::getenv("CI") != nullptr) FAIL() << (server).problem(); \
            GTEST_SKIP() << (server).problem();                             \
        }                                                                   \
    } while (false)
