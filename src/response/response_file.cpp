#include "response/response_file.h"

#include <algorithm>
#include <vector>

#include "support/file.h"

namespace response {

namespace {

constexpr std::size_t k_block = 1 << 16;

// Hands bytes 1 to `count` of the file to `take` block by block, until `take` returns true
// or a read comes back empty.
template <typename Take>
void read_blocks(int file, std::int64_t count, Take take) {
    std::vector<char> block(k_block);
    for (std::int64_t offset = 0; offset < count;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count - offset, k_block));
        const std::int64_t n = support::read_at(file, offset, std::span(block.data(), want));
        if (n <= 0 || take(std::string_view(block.data(), static_cast<std::size_t>(n)))) return;
        offset += n;
    }
}

}  // namespace

std::optional<support::Failure> make_response_file(int spool, std::int64_t total,
                                                   const std::string& name, support::Fd& file) {
    file = support::open_truncated(name);
    if (!file) return support::file_failure(name);
    if (const int err = support::copy_range(spool, 0, file.get(), total)) {
        return support::Failure{support::Problem::file, err, name};
    }
    return std::nullopt;
}

ScanResult scan_response_file(int file, std::int64_t length) {
    HeaderScanner scanner;
    read_blocks(file, length, [&](std::string_view bytes) { return scanner.feed(bytes); });
    return scanner.finish();
}

void echo_scanned(const support::Console& console, int file, std::int64_t length,
                  std::int64_t position) {
    if (length == 0) {
        support::print(console, std::string_view("\0", 1));
        return;
    }
    read_blocks(file, position, [&](std::string_view bytes) {
        support::print(console, bytes);
        return false;
    });
}

}  // namespace response
