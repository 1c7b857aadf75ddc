#include "response/response_file.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

#include "support/file.h"

namespace response {

namespace {

// Hands bytes 1 to `count` of the file to `take` block by block, until `take` returns true.
// 0, or the errno of a read that failed; EIO when the file ends early.
template <typename Take>
int read_blocks(int file, std::int64_t count, Take take) {
    const std::unique_ptr<char[]> block(new (std::nothrow) char[support::k_io_buffer]);
    if (!block) return ENOMEM;
    for (std::int64_t offset = 0; offset < count;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(count - offset, support::k_io_buffer));
        const std::int64_t n = support::read_at(file, offset, std::span(block.get(), want));
        if (n < 0) return errno;
        if (n == 0) return EIO;
        if (take(std::string_view(block.get(), static_cast<std::size_t>(n)))) return 0;
        offset += n;
    }
    return 0;
}

}  // namespace

std::optional<support::Failure> make_response_file(int spool, std::int64_t total,
                                                   const std::string& name, support::Fd& file) {
    file = support::create_work_file(name);
    if (!file) return support::file_failure(errno, name, "open");
    if (const int err = support::copy_range(spool, 0, file.get(), total)) {
        return support::file_failure(err, name, "copy");
    }
    return std::nullopt;
}

std::optional<support::Failure> start_response_file(int spool, std::int64_t total,
                                                    const std::string& name, support::Fd& file,
                                                    std::optional<support::BackgroundCopy>& copy) {
    if (total < k_background_copy) return make_response_file(spool, total, name, file);
    file = support::create_work_file(name);
    if (!file) return support::file_failure(errno, name, "open");
    if (const int err = support::reserve(file.get(), total)) {
        return support::file_failure(err, name, "fallocate");
    }
    copy.emplace(spool, file.get(), total);
    if (copy->started()) return std::nullopt;
    // no thread or descriptor to be had: copied here, as a smaller response would be
    copy.reset();
    if (const int err = support::copy_range(spool, 0, file.get(), total)) {
        return support::file_failure(err, name, "copy");
    }
    return std::nullopt;
}

std::optional<support::Failure> scan_response_file(int file, std::int64_t length,
                                                   const std::string& name, ScanResult& scan) {
    HeaderScanner scanner;
    if (const int err = read_blocks(file, length,
                                    [&](std::string_view bytes) { return scanner.feed(bytes); })) {
        return support::file_failure(err, name, "pread");
    }
    scan = scanner.result();
    return std::nullopt;
}

std::optional<support::Failure> echo_scanned(const support::Console& console, int file,
                                             std::int64_t position, const std::string& name) {
    if (const int err = read_blocks(file, position, [&](std::string_view bytes) {
            support::print(console, bytes);
            return false;
        })) {
        return support::file_failure(err, name, "pread");
    }
    return std::nullopt;
}

}  // namespace response
