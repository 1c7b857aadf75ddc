#include "support/output_path.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <string_view>
#include <vector>

#include "support/file.h"

namespace support {

namespace {

constexpr int k_max_links = 40;       // the kernel's own limit on the links of one name

// Where the walk of a name stands: the folder reached so far and the components still to
// walk, the next one last.
struct Walk {
    const OwnerLookup& owner_of;
    Fd folder;
    std::vector<std::string> rest;
    int links = 0;
    bool refused = false;  // a rule, not the file system, ended the walk

    uid_t owner(const struct stat& st) const { return owner_of ? owner_of(st) : st.st_uid; }
};

// Puts the components of `path` before those still to walk; empty ones stand for a
// doubled or trailing "/".
void push_components(std::vector<std::string>& rest, std::string_view path) {
    std::vector<std::string> parts;
    for (;;) {
        const auto slash = path.find('/');
        parts.emplace_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    rest.insert(rest.end(), parts.rbegin(), parts.rend());
}

// Puts the path's components before those still to walk. An absolute path starts again at
// the root, a relative one goes on from where the walk stands: for a link's target, that is
// the link's own folder.
int start_at(Walk& walk, std::string_view path) {
    if (path.starts_with('/')) {
        walk.folder = Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!walk.folder) return errno;
        path.remove_prefix(1);
    }
    push_components(walk.rest, path);
    return 0;
}

// The links of /proc (a descriptor's, the working folder's) lead to objects that have no
// name to walk to; nobody else can plant one there, so the kernel follows them.
int follow_flag(const Walk& walk) {
    struct statfs fs {};
    return ::fstatfs(walk.folder.get(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC ? 0 : O_NOFOLLOW;
}

// A sticky folder that anyone may write to: where another user can plant a name.
bool shared(const struct stat& folder) {
    return (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

// EACCES, noted as a refusal, when the walk's folder is shared and `thing` in it belongs
// neither to the user nor to that folder's owner (who may put anything there).
int planted(Walk& walk, const struct stat& thing) {
    struct stat folder {};
    if (::fstat(walk.folder.get(), &folder) != 0) return errno;
    const uid_t by = walk.owner(thing);
    if (!shared(folder) || by == ::geteuid() || by == walk.owner(folder)) return 0;
    walk.refused = true;
    return EACCES;
}

// The kinds that the rules guard when they stand as the last name itself.
bool guarded(const struct stat& st) { return S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode); }

// Follows the link `link` (opened as itself) that stands in the walk's folder: its target
// goes before what is left of the name.
int follow(Walk& walk, const Fd& link, const struct stat& st) {
    if (const int err = planted(walk, st)) return err;
    if (++walk.links > k_max_links) return ELOOP;
    std::array<char, PATH_MAX> target;
    const ssize_t n = ::readlinkat(link.get(), "", target.data(), target.size());
    if (n < 0) return errno;
    if (n == 0) return ENOENT;
    if (static_cast<std::size_t>(n) == target.size()) return ENAMETOOLONG;
    const std::string_view to(target.data(), static_cast<std::size_t>(n));
    return start_at(walk, to);
}

// The name in the walk's folder as itself, without opening what it is: `st` tells what.
Fd look_at(const Walk& walk, const std::string& name, struct stat& st) {
    Fd thing(::openat(walk.folder.get(), name.c_str(), O_PATH | O_CLOEXEC | follow_flag(walk)));
    if (thing && ::fstat(thing.get(), &st) != 0) return Fd();
    return thing;
}

// A folder component: entered, or followed when it is a link.
int enter(Walk& walk, const std::string& name) {
    if (name.empty() || name == ".") return 0;
    Fd next(::openat(walk.folder.get(), name.c_str(),
                     O_PATH | O_DIRECTORY | O_CLOEXEC | follow_flag(walk)));
    if (next) {
        walk.folder = std::move(next);
        return 0;
    }
    if (errno != ENOTDIR && errno != ELOOP) return errno;
    struct stat st {};
    const Fd link = look_at(walk, name, st);
    if (!link) return errno;
    return S_ISLNK(st.st_mode) ? follow(walk, link, st) : ENOTDIR;
}

// The last name, looked at only: a link is followed, anything else judged by the rules.
int check_last(Walk& walk, const std::string& name) {
    struct stat st {};
    const Fd thing = look_at(walk, name, st);
    if (!thing) return errno;
    if (S_ISLNK(st.st_mode)) return follow(walk, thing, st);
    return guarded(st) ? planted(walk, st) : 0;
}

// The last name, opened for writing without following a link and without waiting on a
// FIFO: a link met there is followed by hand; `file` stays closed until the name ends.
int open_last(Walk& walk, const std::string& name, Fd& file) {
    file =
        Fd(::openat(walk.folder.get(), name.c_str(),
                    O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | follow_flag(walk), k_file_mode));
    if (file) return 0;
    // ELOOP: a link; ENXIO: a FIFO without a reader yet (or a socket)
    const int err = errno;
    if (err != ELOOP && err != ENXIO) return err;
    struct stat st {};
    const Fd thing = look_at(walk, name, st);
    if (!thing) return errno;
    if (S_ISLNK(st.st_mode)) return follow(walk, thing, st);
    if (!S_ISFIFO(st.st_mode)) {
        // a link swapped away since the open: the name is walked once more, counted as a link
        if (err != ELOOP || ++walk.links > k_max_links) return err;
        walk.rest.push_back(name);
        return 0;
    }
    if (const int refused = planted(walk, st)) return refused;
    // the FIFO just judged, not whatever the name holds now, waits for its reader
    const std::string reopened = "/proc/self/fd/" + std::to_string(thing.get());
    file = Fd(::open(reopened.c_str(), O_WRONLY | O_CLOEXEC));
    return file ? 0 : errno;
}

// Walks the whole name: with `file`, opens its end there; without, only looks.
int walk_name(Walk& walk, Fd* file) {
    while (!walk.rest.empty()) {
        std::string name = std::move(walk.rest.back());
        walk.rest.pop_back();
        int err = 0;
        if (!walk.rest.empty()) {
            err = enter(walk, name);
        } else {
            // a name ending in "/" names its folder
            if (name.empty()) name.push_back('.');
            err = file ? open_last(walk, name, *file) : check_last(walk, name);
        }
        if (err != 0) return err;
        if (file && *file) return 0;
    }
    return 0;
}

int begin(Walk& walk, const std::string& name) {
    if (!name.starts_with('/')) {
        walk.folder = Fd(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!walk.folder) return errno;
    }
    return start_at(walk, name);
}

bool same_file(const struct stat& a, int fd) {
    struct stat b {};
    return ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What was opened, judged before a byte of it changes.
int judge_opened(Walk& walk, const Fd& file, std::span<const int> work_files) {
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return errno;
    if (const int err = guarded(st) ? planted(walk, st) : 0) return err;
    for (const int work_file : work_files) {
        if (work_file >= 0 && same_file(st, work_file)) return EINVAL;
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
    // an empty file is left alone: a truncation would have the file system write the new
    // bytes out at the close, as if they replaced old ones
    if (S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(file.get(), 0) != 0) return errno;
    return 0;
}

}  // namespace

int output_refusal(const std::string& name, const OwnerLookup& owner_of) {
    Walk walk{owner_of, {}, {}};
    if (begin(walk, name) != 0) return 0;
    (void)walk_name(walk, nullptr);
    return walk.refused ? EACCES : 0;
}

Fd open_output(const std::string& name, std::span<const int> work_files,
               const OwnerLookup& owner_of) {
    Walk walk{owner_of, {}, {}};
    Fd file;
    int err = begin(walk, name);
    if (err == 0) err = walk_name(walk, &file);
    if (err == 0 && !file) err = ENOENT;
    if (err == 0) err = judge_opened(walk, file, work_files);
    if (err == 0) return file;
    file.reset();
    errno = err;
    return Fd();
}

}  // namespace support
