#pragma once

// The two waits that keep a failed run's message on screen. A key ends them only when
// input is a terminal (and the process is not in the background on it). SIGHUP, SIGTERM,
// SIGINT and SIGQUIT end them too, after the terminal is put back; each wait returns the
// signal that ended it, 0 for a key or the end of the time.

#include <cstdint>

namespace support {

// The monotonic clock in milliseconds: for deadlines, never for dates.
std::int64_t now_ms();

// Waits ms milliseconds, looking for a key before each 50 ms step but the last. Without a
// terminal on input_fd it runs its full length. A key typed earlier and not yet read ends
// it at once; the key is read and discarded.
[[nodiscard]] int timed_wait(int input_fd, std::int64_t ms);

// Waits for a key with no time limit; without a terminal on input_fd it ends at once.
[[nodiscard]] int key_wait(int input_fd);

}  // namespace support
