#include "response/body.h"

#include <cerrno>

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
    if (value.empty()) {
        support::remove_file(name);
        return std::nullopt;
    }
    support::Fd file = support::create_work_file(name);
    if (!file) return support::file_failure(errno, name);
    int err = support::write_line(file.get(), value);
    if (const int close_err = file.close(); err == 0) err = close_err;
    if (err != 0) return support::file_failure(err, name);
    return std::nullopt;
}

std::optional<support::Failure> write_body(int response, DataRange range, int output,
                                           const std::string& output_name) {
    if (range.length <= 0) return std::nullopt;
    if (const int err = support::copy_range(response, range.start - 1, output, range.length)) {
        return support::file_failure(err, output_name);
    }
    return std::nullopt;
}

}  // namespace response
