#include "support/work_files.h"

#include <sys/stat.h>

#include <algorithm>

namespace support {

bool is_work_file(const std::string& path) {
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

}  // namespace support
