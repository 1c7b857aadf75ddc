// Preloaded into the program under test (LD_PRELOAD) to make one call fail on one file, so
// the error paths of reads, writes and closes that a healthy disk never takes are reached.
// PAGEGLEAN_FAIL_CALL names the call (close, pread, pwrite, copy_file_range on the file it
// writes to, or dup: fcntl's F_DUPFD_CLOEXEC), PAGEGLEAN_FAIL_NAME the last component of the
// file's path, PAGEGLEAN_FAIL_ERRNO the error; PAGEGLEAN_FAIL_NTH=N fails only the N-th
// such call (1: the first time only). A failing close still closes. A splice into the named
// file is its pwrite, one from a socket a recv; recv and pipe2 name no file.
// PAGEGLEAN_FAIL_SIGNAL=S sends the process signal S instead of failing: copy_file_range
// copies up to 1 MiB first; sigaction sends it right after it put back the default action of
// another signal, while the handler of S may not be back yet; a receive sends it and then
// finds nothing yet (EAGAIN), so the signal is noted just before the wait for more.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <string>

namespace {

std::atomic<int> g_matched{0};

// A setting as a number; 0 when it is not set.
int value_of(const char* setting) {
    const char* text = std::getenv(setting);
    return text == nullptr ? 0 : std::atoi(text);
}

bool asked(const char* call) {
    const char* wanted = std::getenv("PAGEGLEAN_FAIL_CALL");
    return wanted != nullptr && std::string(wanted) == call;
}

bool names(int fd) {
    const char* name = std::getenv("PAGEGLEAN_FAIL_NAME");
    if (name == nullptr) return false;
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
    return n > 0 &&
           std::string(path, static_cast<std::size_t>(n)).ends_with("/" + std::string(name));
}

// Counts a call that matches: every one fails, or only the N-th.
bool turn() {
    const int nth = value_of("PAGEGLEAN_FAIL_NTH");
    return ++g_matched == nth || nth == 0;
}

bool is_socket(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode);
}

bool fails(const char* call, int fd) { return asked(call) && names(fd) && turn(); }

int failure() {
    errno = value_of("PAGEGLEAN_FAIL_ERRNO");
    return -1;
}

int receive_failure() {
    const int signal = value_of("PAGEGLEAN_FAIL_SIGNAL");
    if (signal == 0) return failure();
    ::kill(::getpid(), signal);
    errno = EAGAIN;
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

extern "C" ssize_t splice(int in, loff_t* in_offset, int out, loff_t* out_offset, size_t count,
                          unsigned flags) {
    if (fails("pwrite", out)) return failure();
    if (asked("recv") && is_socket(in) && turn()) return receive_failure();
    return next<ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned)>("splice")(
        in, in_offset, out, out_offset, count, flags);
}

extern "C" ssize_t recv(int fd, void* buffer, size_t count, int flags) {
    if (asked("recv") && turn()) return receive_failure();
    return next<ssize_t (*)(int, void*, size_t, int)>("recv")(fd, buffer, count, flags);
}

extern "C" int pipe2(int ends[2], int flags) {
    if (asked("pipe2") && turn()) return failure();
    return next<int (*)(int*, int)>("pipe2")(ends, flags);
}

extern "C" ssize_t copy_file_range(int in, loff_t* in_offset, int out, loff_t* out_offset,
                                   size_t count, unsigned flags) {
    const auto real =
        next<ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned)>("copy_file_range");
    if (!fails("copy_file_range", out)) return real(in, in_offset, out, out_offset, count, flags);
    const int signal = value_of("PAGEGLEAN_FAIL_SIGNAL");
    if (signal == 0) return failure();
    const ssize_t n = real(in, in_offset, out, out_offset, std::min<size_t>(count, 1 << 20), flags);
    ::kill(::getpid(), signal);
    return n;
}

extern "C" int fcntl(int fd, int command, ...) {
    va_list rest;
    va_start(rest, command);
    const long argument = va_arg(rest, long);
    va_end(rest);
    if (command == F_DUPFD_CLOEXEC && fails("dup", fd)) return failure();
    return next<int (*)(int, int, long)>("fcntl")(fd, command, argument);
}

extern "C" int sigaction(int number, const struct sigaction* action, struct sigaction* old) {
    const int result = next<int (*)(int, const struct sigaction*, struct sigaction*)>("sigaction")(
        number, action, old);
    const int signal = value_of("PAGEGLEAN_FAIL_SIGNAL");
    if (asked("sigaction") && action != nullptr && action->sa_handler == SIG_DFL &&
        number != signal && turn()) {
        ::kill(::getpid(), signal);
    }
    return result;
}
