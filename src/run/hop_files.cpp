#include "run/hop_files.h"

#include <fcntl.h>

#include <array>
#include <cerrno>

#include "redirect/redirect.h"
#include "response/response_file.h"
#include "support/file.h"
#include "support/output_path.h"
#include "support/work_files.h"

namespace run {

namespace {

// The first failure of a written file's close, for files whose last bytes may only now
// turn out not to fit.
std::optional<support::Failure> close_written(support::Fd& file, const std::string& name) {
    if (const int err = file.close()) return support::file_failure(err, name, "close");
    return std::nullopt;
}

}  // namespace

std::optional<support::Failure> HopFiles::create_spool() {
    m_spool = support::create_work_file(support::k_spool_file);
    if (!m_spool) return support::file_failure(errno, support::k_spool_file, "open");
    return std::nullopt;
}

void HopFiles::keep_partial(std::int64_t total) {
    (void)response::make_response_file(m_spool.get(), total, support::k_response_file, m_response);
}

std::variant<std::int64_t, support::Failure> HopFiles::spool_length() const {
    const std::int64_t length = support::length_of(m_spool.get());
    if (length < 0) return support::file_failure(errno, support::k_spool_file, "fstat");
    return length;
}

std::optional<support::Failure> HopFiles::store(std::int64_t total) {
    const std::string& spool_name = support::k_spool_file;
    m_total = total;
    m_reader = support::Fd(::fcntl(m_spool.get(), F_DUPFD_CLOEXEC, 0));
    if (!m_reader) return support::file_failure(errno, spool_name, "dup");
    if (auto failure = response::start_response_file(
            m_reader.get(), total, support::k_response_file, m_response, m_copy)) {
        return failure;
    }
    // the spool is closed, and a late write error told, where it always was
    return close_written(m_spool, spool_name);
}

std::optional<support::Failure> HopFiles::open_output(const std::string& name) {
    m_output_name = name;
    const std::array work_files{m_reader.get(), m_response.get()};
    m_output = support::open_output(name, work_files);
    if (!m_output) return support::file_failure(errno, name, "open");
    return std::nullopt;
}

std::optional<support::Failure> HopFiles::close_output() {
    return close_written(m_output, m_output_name);
}

std::optional<support::Failure> HopFiles::preserve_first_response() const {
    return redirect::preserve_first_response(m_reader.get(), m_total);
}

std::optional<support::Failure> HopFiles::close(bool went_through) {
    if (const int err = m_copy ? m_copy->wait() : 0) {
        return support::file_failure(err, support::k_response_file, "copy");
    }
    if (!went_through) return std::nullopt;
    return close_written(m_response, support::k_response_file);
}

}  // namespace run
