#pragma once

// An owned file descriptor: closes on every path, so failed hops and redirects leak nothing.

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace support {

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

    // Closes now and reports how: 0, or the errno of a close that failed, which on NFS or
    // a full quota is where a delayed write error shows. Closing nothing is no error.
    [[nodiscard]] int close() {
        if (m_fd < 0) return 0;
        const int result = ::close(std::exchange(m_fd, -1));
        // Linux frees the descriptor even when close is interrupted, so it is not retried
        return result == 0 || errno == EINTR ? 0 : errno;
    }

    // Closes now, for descriptors only read or abandoned after a failure; errno is left as
    // the failing call before it set it.
    void reset() {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
            m_fd = -1;
        }
    }

  private:
    int m_fd = -1;
};

}  // namespace support
