#pragma once

// The texts the run prints: banner, command log, closing notes and failure messages.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "run/command_line.h"
#include "support/failure.h"

namespace run {

inline const std::string k_version = PAGEGLEAN_VERSION;

// Eight lines, the first and last empty, the others 74 characters wide.
std::vector<std::string> banner_lines(std::string_view version);

// "Command log: ", "Command: ", "URL: ", "Host: ", "Path: ", "File: " lines and an empty line.
std::vector<std::string> command_log_lines(std::string_view argument_text, std::string_view tail,
                                           const Target& target);

// The closing notes of a run that wrote its body.
std::vector<std::string> closing_notes();

constexpr std::string_view k_too_many_redirects = "Too much (>5) redirections!";

// The two lines that report a failure.
std::vector<std::string> failure_lines(const support::Failure& failure);

// What --help and -h print: the synopsis, the options and where to read more.
std::string usage_text();

// What --version and -V print.
std::string version_text();

// The note for standard error before a wait of wait_ms (0: until a key) that a key from
// a terminal can end (keys) or not.
std::string wait_hint(std::int64_t wait_ms, bool keys);

}  // namespace run
