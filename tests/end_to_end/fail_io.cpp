// Preloaded into the program under test (LD_PRELOAD) to make one call fail on one file, so
// the error paths of reads, writes and closes that a healthy disk never takes are reached.
// PAGEGLEAN_FAIL_CALL names the call (close, pread or pwrite), PAGEGLEAN_FAIL_NAME the last
// component of the file's path, PAGEGLEAN_FAIL_ERRNO the error. A failing close still closes.

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
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
