#pragma once

// The response file: exactly the bytes a hop received; and the scan and echo of those bytes,
// read from the response file or from the spool, which begins with the same bytes.

#include <cstdint>
#include <optional>
#include <string>

#include "response/header_scan.h"
#include "support/background_copy.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/fd.h"

namespace response {

// A new `name` holding the first `total` bytes of the spool, never the filler behind them;
// its descriptor in `file`, open for reading and writing. Used where nothing runs beside it.
[[nodiscard]] std::optional<support::Failure> make_response_file(int spool, std::int64_t total,
                                                                 const std::string& name,
                                                                 support::Fd& file);

// Below this a response file is copied at once: a thread would cost more than it saves.
constexpr std::int64_t k_background_copy = 4 << 20;

// A new `name` in `file`; from k_background_copy bytes on, its room for `total` bytes
// taken (its length grows only with the copy) and the copy of the spool's first `total`
// bytes into it started in `copy`, to be waited for before the file is closed; below, or
// when no thread can be started, made here as by make_response_file.
[[nodiscard]] std::optional<support::Failure> start_response_file(
    int spool, std::int64_t total, const std::string& name, support::Fd& file,
    std::optional<support::BackgroundCopy>& copy);

// The header scan over the first `length` bytes of the file `name`, read block by block
// until the outcome is known. A read that fails, or finds the file short, is a failure.
[[nodiscard]] std::optional<support::Failure> scan_response_file(int file, std::int64_t length,
                                                                 const std::string& name,
                                                                 ScanResult& scan);

// Echoes what the scan stepped on: bytes 1 to the scan position of a response that is not
// empty (an empty one is a failed receive and never scanned). A read that fails is a
// failure.
[[nodiscard]] std::optional<support::Failure> echo_scanned(const support::Console& console,
                                                           int file, std::int64_t position,
                                                           const std::string& name);

}  // namespace response
