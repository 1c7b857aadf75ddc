#include "response/response_file.h"

#include <algorithm>
#include <vector>

#include "support/file.h"

namespace response {

namespace {

constexpr std::size_t k_block = 1 << 16;

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
    std::vector<char> block(k_block);
    for (std::int64_t offset = 0; offset < length;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(length - offset, k_block));
        const std::int64_t n = support::read_at(file, offset, std::span(block.data(), want));
        if (n <= 0) break;
        if (scanner.feed(std::string_view(block.data(), static_cast<std::size_t>(n)))) break;
        offset += n;
    }
    return scanner.finish();
}

void echo_scanned(const support::Console& console, int file, std::int64_t length,
                  std::int64_t position) {
    if (length == 0) {
        support::print(console, std::string_view("\0", 1));
        return;
    }
    std::vector<char> block(k_block);
    for (std::int64_t offset = 0; offset < position;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(position - offset, k_block));
        const std::int64_t n = support::read_at(file, offset, std::span(block.data(), want));
        if (n <= 0) return;
        support::print(console, std::string_view(block.data(), static_cast<std::size_t>(n)));
        offset += n;
    }
}

}  // namespace response
