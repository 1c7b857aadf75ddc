#pragma once

// The texts the run prints: banner, command log, closing notes and failure messages.

#include <string>
#include <string_view>
#include <vector>

#include "run/command_line.h"
#include "support/failure.h"

namespace run {

inline const std::string k_version = "1.32";

// Eight lines, the first and last empty, the others 74 characters wide.
std::vector<std::string> banner_lines(std::string_view version);

// "Command log: ", "Command: ", "URL: ", "Host: ", "Path: ", "File: " lines and an empty line.
std::vector<std::string> command_log_lines(std::string_view argument_text, std::string_view tail,
                                           const Target& target);

// The closing notes of a run that wrote its body.
std::vector<std::string> closing_notes();

// The two lines that report a failure.
std::vector<std::string> failure_lines(const support::Failure& failure);

}  // namespace run
