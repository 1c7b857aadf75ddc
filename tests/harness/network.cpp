#include "harness/network.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace harness {

namespace {

bool g_ready = false;
std::string g_problem = "not entered";

bool write_proc(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

std::string failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

void enter_private_network() {
    if (::unshare(CLONE_NEWNET) != 0) {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
            g_problem = failed("unshare");
            return;
        }
        write_proc("/proc/self/setgroups", "deny");
        if (!write_proc("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !write_proc("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            g_problem = failed("id map");
            return;
        }
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    request.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    const bool up = fd >= 0 && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (!up) g_problem = failed("loopback up");
    if (fd >= 0) ::close(fd);
    g_ready = up;
}

bool private_network() { return g_ready; }

const std::string& private_network_problem() { return g_problem; }

}  // namespace harness
