// The header scan against a literal model of the byte-by-byte walk with its 4-byte window,
// header names in any case: outcome, scan position, Location line and the line the
// Last-Modified date is taken from must agree, however the response is cut into pieces. The
// first input byte sets the piece size.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "response/header_scan.h"
#include "support/text.h"

namespace {

struct Model {
    response::ScanOutcome outcome;
    std::int64_t position;
    std::string location_line;
    std::string last_modified;
};

Model model_scan(std::string_view response) {
    Model model{};
    std::string line;
    bool too_long = false;
    for (std::int64_t position = 1;; ++position) {
        const auto at = static_cast<std::size_t>(position - 1);
        std::string window(response.substr(std::min(at, response.size()), 4));
        const bool last_window = at + window.size() >= response.size();
        window.resize(4, '\0');
        const char current = window[0];
        model.position = position;
        if (current == '\n' || current == '\r') {
            // a line past the limit is passed over
            if (!too_long && support::lower(line.substr(0, 15)) == "last-modified: ") {
                model.last_modified = response::last_modified_date(line);
            }
            if (!too_long && support::lower(line.substr(0, 10)) == "location: ") {
                model.outcome = response::ScanOutcome::location;
                model.location_line = line;
                return model;
            }
            line.clear();
            too_long = false;
        } else if (!too_long) {
            line += current;
            too_long = line.size() > response::k_max_header_line;
        }
        if (window == "\r\n\r\n") {
            model.outcome = response::ScanOutcome::end_of_header;
            return model;
        }
        if (last_window) {
            model.outcome = response::ScanOutcome::end_of_file;
            return model;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 16;
    const std::string_view response(reinterpret_cast<const char*>(data) + 1, size - 1);

    response::HeaderScanner scanner;
    for (std::size_t at = 0; at < response.size(); at += piece) {
        if (scanner.feed(response.substr(at, piece))) break;
    }
    const response::ScanResult result = scanner.result();
    const Model model = model_scan(response);

    fuzz::check(result.outcome == model.outcome);
    fuzz::check(result.position == model.position);
    fuzz::check(result.location_value ==
                (model.location_line.empty() ? std::string() : model.location_line.substr(10)));
    fuzz::check(result.body_start == model.position + 4);
    fuzz::check(result.last_modified == model.last_modified);
    return 0;
}
