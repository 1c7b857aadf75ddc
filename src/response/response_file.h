#pragma once

// The response file: exactly the bytes a hop received, scanned and echoed from disk.

#include <cstdint>
#include <optional>
#include <string>

#include "response/header_scan.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/fd.h"

namespace response {

// A new `name` holding the first `total` bytes of the spool, never the filler behind them;
// its descriptor in `file`, open for reading and writing.
std::optional<support::Failure> make_response_file(int spool, std::int64_t total,
                                                   const std::string& name, support::Fd& file);

// The header scan over the first `length` bytes of the file, read block by block until
// the outcome is known. A read error ends it as the end of the file would.
ScanResult scan_response_file(int file, std::int64_t length);

// Echoes what the scan stepped on: bytes 1 to the scan position, or the one zero byte of
// the window when the response is empty.
void echo_scanned(const support::Console& console, int file, std::int64_t length,
                  std::int64_t position);

}  // namespace response
