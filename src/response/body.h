#pragma once

// The last hop's end: side files for scripts, the data log and the body.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/failure.h"

namespace response {

// The body's length in a response of `length` bytes whose body starts at `body_start`:
// 0 or negative when there is no body.
std::int64_t body_length(std::int64_t body_start, std::int64_t length);

// The data log, from the two line ends after the echo to the "Data length: " line.
std::vector<std::string> data_log_lines(std::int64_t position, std::int64_t body_start,
                                        std::int64_t length);

// Removes `name`; when value is not empty, creates it anew holding the value and CR LF.
[[nodiscard]] std::optional<support::Failure> write_side_file(const std::string& name,
                                                              const std::string& value);

// Copies the body into the output file, which is empty and open at its start.
[[nodiscard]] std::optional<support::Failure> write_body(int response, std::int64_t body_start,
                                                         std::int64_t length, int output,
                                                         const std::string& output_name);

}  // namespace response
