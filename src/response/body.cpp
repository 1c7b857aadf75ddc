#include "response/body.h"

#include <cerrno>

#include "support/console.h"
#include "support/fd.h"
#include "support/file.h"

namespace response {

std::int64_t body_length(std::int64_t body_start, std::int64_t length) {
    return length - body_start + 1;
}

std::vector<std::string> data_log_lines(std::int64_t position, std::int64_t body_start,
                                        std::int64_t length) {
    return {
        "",
        "",
        "Start of data: " + support::format_number(position),
        "File length: " + support::format_unsigned(static_cast<std::uint64_t>(length)),
        "Data length: " + support::format_number(body_length(body_start, length)),
    };
}

std::optional<support::Failure> write_side_file(const std::string& name, const std::string& value) {
    if (value.empty()) {
        support::remove_file(name);
        return std::nullopt;
    }
    support::Fd file = support::create_work_file(name);
    if (!file) return support::file_failure(errno, name, "open");
    int err = support::write_line(file.get(), value);
    if (const int close_err = file.close(); err == 0) err = close_err;
    if (err != 0) return support::file_failure(err, name, "write");
    return std::nullopt;
}

std::optional<support::Failure> write_body(int response, std::int64_t body_start,
                                           std::int64_t length, int output,
                                           const std::string& output_name) {
    const std::int64_t count = body_length(body_start, length);
    if (count <= 0) return std::nullopt;
    if (const int err = support::copy_range(response, body_start - 1, output, count)) {
        return support::file_failure(err, output_name, "copy");
    }
    return std::nullopt;
}

}  // namespace response
