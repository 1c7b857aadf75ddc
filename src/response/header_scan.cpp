#include "response/header_scan.h"

#include <algorithm>

#include "support/text.h"

namespace response {

namespace {

// in lower case: header names are matched in any case, the blank after the colon as it is
constexpr std::string_view k_location = "location: ";
constexpr std::string_view k_last_modified = "last-modified: ";
constexpr std::string_view k_end_mark = "\r\n\r\n";

// Whether the line begins with the name (given in lower case), its letters in any case.
bool names(std::string_view line, std::string_view name) {
    return support::lower(support::left(line, static_cast<std::int64_t>(name.size()))) == name;
}

}  // namespace

bool HeaderScanner::feed(std::string_view bytes) {
    for (const char byte : bytes) {
        if (m_done) break;
        // the step at position p sees bytes p .. p+3, so it runs once byte p+3 is here
        std::rotate(m_window.begin(), m_window.begin() + 1, m_window.end());
        m_window[3] = byte;
        ++m_fed;
        if (m_fed >= 4) step(m_fed - 3);
    }
    return m_done;
}

ScanResult HeaderScanner::result() {
    end_scan();
    m_result.body_start = m_result.position + static_cast<std::int64_t>(k_end_mark.size());
    return m_result;
}

void HeaderScanner::end_scan() {
    if (!m_done && m_fed < 4) {
        // a response of 0 to 3 bytes: one step, the missing bytes read as zero bytes
        std::array<char, 4> padded{};
        std::copy_n(m_window.end() - m_fed, m_fed, padded.begin());
        m_window = padded;
        step(1);
    }
    if (!m_done) {
        // the step that examined the last full window read up to the end of the file
        m_result.outcome = ScanOutcome::end_of_file;
        m_done = true;
    }
}

void HeaderScanner::step(std::int64_t position) {
    m_result.position = position;
    const char current = m_window[0];

    // a CR or LF ends the header line; any other byte, a zero byte too, belongs to it
    if (current == '\r' || current == '\n') {
        end_line();
        if (m_done) return;
    } else if (m_line_kept) {
        m_line += current;
        const bool neither_header = m_line.size() == k_last_modified.size() &&
                                    !names(m_line, k_location) && !names(m_line, k_last_modified);
        if (neither_header || m_line.size() > k_max_header_line) {
            m_line_kept = false;
            m_line.clear();
            m_line.shrink_to_fit();
        }
    }

    // the header ends at the first CR LF CR LF
    if (std::string_view(m_window.data(), m_window.size()) == k_end_mark) {
        m_result.outcome = ScanOutcome::end_of_header;
        m_done = true;
    }
}

void HeaderScanner::end_line() {
    // the date is taken before the Location test, both before the end mark test
    if (m_line_kept && names(m_line, k_last_modified)) {
        m_result.last_modified = last_modified_date(m_line);
    }
    if (m_line_kept && names(m_line, k_location)) {
        m_result.outcome = ScanOutcome::location;
        m_result.location_value = m_line.substr(k_location.size());
        m_done = true;
        return;
    }
    m_line.clear();
    m_line_kept = true;
}

ScanResult scan_header(std::string_view response) {
    HeaderScanner scanner;
    scanner.feed(response);
    return scanner.result();
}

std::string last_modified_date(std::string_view header_line) {
    std::string_view date =
        support::trim_end(support::mid(header_line, k_last_modified.size() + 1));
    const std::int64_t comma = support::find(1, date, ",");
    if (comma > 0) date = support::trim_start(support::mid(date, comma + 1));
    return std::string(date);
}

}  // namespace response
