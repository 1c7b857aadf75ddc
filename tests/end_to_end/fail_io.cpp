// Preloaded into the program under test (LD_PRELOAD) to make one call fail on one file, so
// the error paths of reads, writes and closes that a healthy disk never takes are reached.
// PAGEGLEAN_FAIL_CALL names the call (close, pread or pwrite), PAGEGLEAN_FAIL_NAME the last
// component of the file's path, PAGEGLEAN_FAIL_ERRNO the error. A failing close still closes.
// PAGEGLEAN_PLANT ("link" or "fifo") has uid 4242 plant that under the path PAGEGLEAN_PLANT_AT
// (a link to ../victim) at the first creating open of its last component: a name swapped
// between the program's check and its open.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <string>

namespace {

bool fails(const char* call, int fd) {
    const char* wanted = std::getenv("PAGEGLEAN_FAIL_CALL");
    const char* name = std::getenv("PAGEGLEAN_FAIL_NAME");
    if (wanted == nullptr || name == nullptr || std::string(wanted) != call) return false;
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
    return n > 0 &&
           std::string(path, static_cast<std::size_t>(n)).ends_with("/" + std::string(name));
}

int failure() {
    errno = std::atoi(std::getenv("PAGEGLEAN_FAIL_ERRNO"));
    return -1;
}

template <typename Call>
Call next(const char* name) {
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int close(int fd) {
    const bool fail = fails("close", fd);
    const int result = next<int (*)(int)>("close")(fd);
    return fail ? failure() : result;
}

extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    if (fails("pread", fd)) return failure();
    return next<ssize_t (*)(int, void*, size_t, off_t)>("pread")(fd, buffer, count, offset);
}

extern "C" ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    if (fails("pwrite", fd)) return failure();
    return next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, buffer, count, offset);
}

namespace {

void plant_before(const char* path, int flags) {
    static bool planted = false;
    const char* kind = std::getenv("PAGEGLEAN_PLANT");
    const char* at = std::getenv("PAGEGLEAN_PLANT_AT");
    if (planted || kind == nullptr || at == nullptr || (flags & O_CREAT) == 0) return;
    const std::string where(at), name(path);
    if (where.substr(where.rfind('/') + 1) != name.substr(name.rfind('/') + 1)) return;
    planted = true;
    ::unlink(at);
    if (std::string(kind) == "link" ? ::symlink("../victim", at) : ::mkfifo(at, 0666)) return;
    ::lchown(at, 4242, 4242);
}

// The mode argument is there only when the flags create a file.
bool creating(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

}  // namespace

extern "C" int openat(int folder, const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const auto perms = creating(flags) ? static_cast<mode_t>(va_arg(rest, int)) : mode_t{0};
    va_end(rest);
    plant_before(path, flags);
    return next<int (*)(int, const char*, int, ...)>("openat")(folder, path, flags, perms);
}

extern "C" int open(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const auto perms = creating(flags) ? static_cast<mode_t>(va_arg(rest, int)) : mode_t{0};
    va_end(rest);
    plant_before(path, flags);
    return next<int (*)(const char*, int, ...)>("open")(path, flags, perms);
}
