#pragma once

// The last hop's end: side files for scripts, the data log and the body.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/failure.h"

namespace response {

// Where the body lies in a response of `length` bytes whose scan stopped at `position`.
struct DataRange {
    std::int64_t start = 0;   // 1-based position of the first body byte: position + 4
    std::int64_t length = 0;  // length - start + 1; 0 or negative when there is no body
};

DataRange data_range(std::int64_t position, std::int64_t length);

// The data log, from the two line ends after the echo to the "Data length: " line.
std::vector<std::string> data_log_lines(std::int64_t position, std::int64_t length);

// Removes `name`; when value is not empty, creates it anew holding the value and CR LF.
[[nodiscard]] std::optional<support::Failure> write_side_file(const std::string& name,
                                                              const std::string& value);

// Copies the body into the output file, which is empty and open at its start.
[[nodiscard]] std::optional<support::Failure> write_body(int response, DataRange range, int output,
                                                         const std::string& output_name);

}  // namespace response
