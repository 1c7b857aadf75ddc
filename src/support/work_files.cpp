#include "support/work_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace support {

namespace {

bool names_work_file(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (std::none_of(k_work_files.begin(), k_work_files.end(),
                     [&](const std::string* name) { return *name == last; })) {
        return false;
    }
    // "/pageglean.dummy" lies in the root directory, "pageglean.dummy" in the current one
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : path.substr(0, slash);
    struct stat here {};
    struct stat there {};
    return ::stat(".", &here) == 0 && ::stat(directory.c_str(), &there) == 0 &&
           here.st_dev == there.st_dev && here.st_ino == there.st_ino;
}

}  // namespace

bool is_work_file(const std::string& path) {
    // the name, then every name its links lead through, a dangling link's target included
    constexpr int k_max_links = 40;  // as the kernel's own limit on a chain of links
    std::string at = path;
    for (int link = 0; link <= k_max_links; ++link) {
        if (names_work_file(at)) return true;
        std::array<char, 4096> target;
        const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) == target.size()) return false;
        std::string next(target.data(), static_cast<std::size_t>(n));
        const auto slash = at.rfind('/');
        if (!next.starts_with('/') && slash != std::string::npos)
            next = at.substr(0, slash + 1) + next;
        at = std::move(next);
    }
    return false;
}

}  // namespace support
