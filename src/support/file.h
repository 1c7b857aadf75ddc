#pragma once

// Raw I/O on files: created exclusively, read and written by byte offset, copied, their
// room reserved. Every byte passes unchanged; writes go straight to the descriptor, so a
// length taken after a write already counts it.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "support/fd.h"

namespace support {

// The buffer for the copies and reads that go through user space: large enough that a
// call moves a lot, small enough to live on the stack or stay flat in memory.
constexpr std::size_t k_io_buffer = 64 * 1024;

// The mode every file the program creates asks for: the umask narrows it, as for any tool.
constexpr mode_t k_file_mode = 0666;

// Removes `name` and creates it anew, empty, for reading and writing; the create is
// exclusive and follows no link, so a link planted under the name is replaced, never
// written through, and a run that another run races gets a file of its own. Invalid,
// errno set, when the create still fails, or when the name exists and cannot be removed
// (errno then the removal's).
Fd create_work_file(const std::string& name);

// Removes the file; a missing one, or one that cannot be removed, is no error.
void remove_file(const std::string& name);

// Fills buffer from byte offset `offset`; what lies beyond the end reads as zero bytes.
// The count of bytes actually read, or -1 with errno set.
std::int64_t read_at(int fd, std::int64_t offset, std::span<char> buffer);

// Stores every byte at `offset`, growing the file when needed. 0, or the errno of the write.
[[nodiscard]] int write_at(int fd, std::int64_t offset, std::string_view bytes);

// Stores every byte at the current position (works on pipes and devices too), retrying
// interrupted and partial writes. 0, or errno (EIO for a write that stores nothing).
[[nodiscard]] int write_all(int fd, std::string_view bytes);

// text then CR LF at the current position. 0 or errno.
[[nodiscard]] int write_line(int fd, std::string_view text);

// The current length in bytes; -1 with errno set when it cannot be told.
std::int64_t length_of(int fd);

// Copies count bytes from `from` at from_offset to the current position of `to`, in the
// kernel where it can, else through one fixed buffer. 0, or the errno of the failing call;
// EIO when `from` ends before count bytes.
[[nodiscard]] int copy_range(int from, std::int64_t from_offset, int to, std::int64_t count);

// Takes the disk room for the first `length` bytes of the file now, so that a full disk or
// quota shows here and not in a later write. The file's length stays as it is: a copy cut
// short by a failure, a signal or a crash leaves only what it wrote, never zeros behind
// it. 0 where the file system cannot reserve room; else 0 or the errno.
[[nodiscard]] int reserve(int fd, std::int64_t length);

}  // namespace support
