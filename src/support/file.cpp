#include "support/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace support {

namespace {

int copy_through_buffer(int from, std::int64_t offset, int to, std::int64_t count) {
    std::array<char, k_io_buffer> buffer;
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count, buffer.size()));
        const ssize_t n = ::pread(from, buffer.data(), want, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        if (const int err =
                write_all(to, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
            return err;
        }
        offset += n;
        count -= n;
    }
    return 0;
}

}  // namespace

Fd create_work_file(const std::string& name) {
    // another run may create the name between our remove and create: remove it again
    constexpr int k_tries = 8;
    for (int attempt = 1;; ++attempt) {
        if (::unlink(name.c_str()) != 0 && errno != ENOENT) return Fd();
        Fd file(
            ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, k_file_mode));
        if (file || errno != EEXIST || attempt == k_tries) return file;
    }
}

void remove_file(const std::string& name) {
    const int saved = errno;
    ::unlink(name.c_str());
    errno = saved;
}

std::int64_t read_at(int fd, std::int64_t offset, std::span<char> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(fd, buffer.data() + done, buffer.size() - done,
                                  offset + static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    std::memset(buffer.data() + done, 0, buffer.size() - done);
    return static_cast<std::int64_t>(done);
}

int write_at(int fd, std::int64_t offset, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return 0;
}

int write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int write_line(int fd, std::string_view text) {
    std::string line(text);
    line += "\r\n";
    return write_all(fd, line);
}

std::int64_t length_of(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

int reserve(int fd, std::int64_t length) {
    if (length <= 0) return 0;
    int result = 0;
    do {
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return 0;
    return errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS ? 0 : errno;
}

int copy_range(int from, std::int64_t from_offset, int to, std::int64_t count) {
    loff_t offset = from_offset;
    while (count > 0) {
        const ssize_t n =
            ::copy_file_range(from, &offset, to, nullptr, static_cast<std::size_t>(count), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // devices, pipes and some file systems take no kernel copy; nothing was
            // written by the failed call, so the buffer goes on from the same place
            if (errno == EINVAL || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF) {
                return copy_through_buffer(from, offset, to, count);
            }
            return errno;
        }
        if (n == 0) return EIO;
        count -= n;
    }
    return 0;
}

}  // namespace support
