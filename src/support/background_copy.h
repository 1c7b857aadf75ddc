#pragma once

// A copy that runs in a thread of its own beside the rest of the hop.

#include <cstdint>
#include <thread>

#include "support/fd.h"

namespace support {

// copy_range(from, 0, to, count) in a thread of its own, so that it runs beside the rest
// of the hop. It reads through a descriptor of its own, so `from` may close at any time;
// it writes through `to` itself, which must stay open until wait() has returned, so that
// the file's one close, and a write error the file system keeps for that close, is the
// caller's.
class BackgroundCopy {
  public:
    BackgroundCopy(int from, int to, std::int64_t count);
    ~BackgroundCopy();
    BackgroundCopy(const BackgroundCopy&) = delete;
    BackgroundCopy& operator=(const BackgroundCopy&) = delete;

    // Asked before wait(): false when no descriptor or no thread could be had (the process
    // limit, no memory for its stack); then nothing was copied and the copy is the caller's.
    bool started() const { return m_thread.joinable(); }

    // Waits for the copy; 0, or the errno with which it failed.
    [[nodiscard]] int wait();

  private:
    Fd m_from;
    int m_err = 0;
    std::thread m_thread;
};

}  // namespace support
