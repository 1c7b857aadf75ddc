#pragma once

// The header scan: a walk over the response one byte position at a time, with a window of
// the 4 bytes from that position on (zero bytes past the end), until the window is
// CR LF CR LF, a "Location: " line ends, or the last full window has been examined. Header
// names are read in any case ("location: " too, as proxies that lower-case them send it);
// the one blank after the colon is part of the name.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace response {

enum class ScanOutcome { end_of_header, end_of_file, location };

// A "Location: " or "Last-Modified: " line longer than this is passed over like any other
// line: no server sends a usable address or date that long, and a hostile one could
// otherwise make the scan hold a whole download in memory.
constexpr std::size_t k_max_header_line = 64 * 1024;

struct ScanResult {
    ScanOutcome outcome = ScanOutcome::end_of_file;
    // 1-based position of the last step: the CR that starts CR LF CR LF, the CR or LF that
    // ended the "Location: " line, or max(1, length - 3) at the end of the file
    std::int64_t position = 0;
    // 1-based position of the first body byte: 4 past the position, where an end mark
    // would end
    std::int64_t body_start = 0;
    std::string location_value;  // what follows "Location: " on its line, without CR or LF
    std::string last_modified;   // date of the last "Last-Modified: " line before the stop
};

// Scans a response fed in pieces of any size. Memory stays flat: only a line that may be
// a "Location: " or "Last-Modified: " line is kept past its first 15 bytes, and only up to
// k_max_header_line bytes.
class HeaderScanner {
  public:
    // Takes the next bytes of the response; true once the outcome is known, after which
    // further bytes are ignored.
    bool feed(std::string_view bytes);

    // The outcome, once the whole response has been fed (or feed returned true).
    ScanResult result();

  private:
    void end_scan();
    void step(std::int64_t position);
    void end_line();

    std::array<char, 4> m_window{};  // the last 4 bytes fed; the window of the next step
    std::int64_t m_fed = 0;
    std::string m_line;
    bool m_line_kept = true;  // false once the line can no longer be either header
    bool m_done = false;
    ScanResult m_result;
};

// The whole scan of a response held in memory.
ScanResult scan_header(std::string_view response);

// The date of a "Last-Modified: " line: the text after the 15 characters, trailing blanks
// and zero bytes removed, then only what follows its first comma, leading blanks removed
// (without a comma the leading blanks stay).
std::string last_modified_date(std::string_view header_line);

}  // namespace response
