#pragma once

// The texts the run prints: banner, command log, the hop's log headings, closing notes,
// failure messages, usage and wait hints.

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

// "Command log: ", "Command: ", "URL: ", "Host: ", "Path: ", "File: " lines and an empty
// line; the command, URL, host and path as the target's URL shows them (support::url_text
// and shown_url), so that they name what the hop fetches.
std::vector<std::string> command_log_lines(std::string_view argument_text, const Target& target);

// "Internal Log:", "IP:" and the address as http::address_shown gives it, an empty line.
std::vector<std::string> internal_log_lines(std::string_view shown_address);

// "Contact log:", then the CONNECT head and the request head, each when not empty, whose
// own CR LF leaves an empty line behind each.
std::vector<std::string> contact_log_lines(std::string_view tunnel_head, std::string_view head);

constexpr std::string_view k_download_log = "Download log:";
constexpr std::string_view k_file_log = "File log:";

// An empty line and the spool's length: "Laenge Download: <n> Bytes.".
std::vector<std::string> download_length_lines(std::int64_t spool_length);

// A target that cannot be fetched: no URL at all, or no host in it.
std::vector<std::string> url_empty_lines();
std::vector<std::string> no_host_lines();

// The closing notes of a run that wrote its body.
std::vector<std::string> closing_notes();

// The sixth redirect refused, and an empty line.
std::vector<std::string> too_many_redirects_lines();

// The two lines that report a failure.
std::vector<std::string> failure_lines(const support::Failure& failure);

// What --help and -h print: the synopsis, the options and where to read more.
std::string usage_text();

// What --version and -V print.
std::string version_text();

// The note for standard error before a wait of wait_ms (0: until a key) that a key from
// a terminal can end (keys) or not.
std::string wait_hint(std::int64_t wait_ms, bool keys);

// The note for standard error when PAGEGLEAN_TIMEOUT holds `value`, which is no whole
// number of seconds.
std::string timeout_ignored(std::string_view value);

}  // namespace run
