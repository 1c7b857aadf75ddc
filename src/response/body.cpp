#include "response/body.h"

#include "support/console.h"
#include "support/fd.h"
#include "support/file.h"

namespace response {

DataRange data_range(std::int64_t position, std::int64_t length) {
    const std::int64_t start = position + 4;
    return DataRange{start, length - start + 1};
}

std::vector<std::string> data_log_lines(std::int64_t position, std::int64_t length) {
    return {
        "",
        "",
        "Start of data: " + support::format_number(position),
        "File length: " + support::format_unsigned(static_cast<std::uint64_t>(length)),
        "Data length: " + support::format_number(data_range(position, length).length),
    };
}

std::optional<support::Failure> write_side_file(const std::string& name, const std::string& value) {
    support::remove_file(name);
    if (value.empty()) return std::nullopt;
    const support::Fd file = support::open_truncated(name);
    if (!file) return support::file_failure(name);
    if (const int err = support::write_line(file.get(), value)) {
        return support::Failure{support::Problem::file, err, name};
    }
    return std::nullopt;
}

std::optional<support::Failure> write_body(int response, DataRange range, int output,
                                           const std::string& output_name) {
    if (range.length <= 0) return std::nullopt;
    if (const int err = support::copy_range(response, range.start - 1, output, range.length)) {
        return support::Failure{support::Problem::file, err, output_name};
    }
    return std::nullopt;
}

}  // namespace response
