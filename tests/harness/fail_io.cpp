// Interposed on the program under test (LD_PRELOAD) to make one call fail on one file, so
// the tests can reach the error paths of reads, writes and closes that a healthy disk never
// takes. PAGEGLEAN_FAIL_CALL names the call (close, pread or pwrite), PAGEGLEAN_FAIL_NAME
// the end of the file's path, PAGEGLEAN_FAIL_ERRNO the error. A failing close still closes.

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool fails(const char* call, int fd) {
    const char* wanted = std::getenv("PAGEGLEAN_FAIL_CALL");
    const char* name = std::getenv("PAGEGLEAN_FAIL_NAME");
    if (wanted == nullptr || name == nullptr || std::strcmp(wanted, call) != 0) return false;
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    if (n <= 0) return false;
    const std::string target(path, static_cast<std::size_t>(n));
    return target.size() >= std::strlen(name) && target.ends_with(std::string("/") + name);
}

int failure() {
    const char* err = std::getenv("PAGEGLEAN_FAIL_ERRNO");
    errno = err != nullptr ? std::atoi(err) : EIO;
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
