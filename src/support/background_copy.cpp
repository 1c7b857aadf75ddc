#include "support/background_copy.h"

#include <fcntl.h>

#include <exception>

#include "support/file.h"

namespace support {

BackgroundCopy::BackgroundCopy(int from, int to, std::int64_t count)
    : m_from(::fcntl(from, F_DUPFD_CLOEXEC, 0)) {
    if (!m_from) return;
    try {
        m_thread =
            std::thread([this, to, count] { m_err = copy_range(m_from.get(), 0, to, count); });
    } catch (const std::exception&) {
        // std::system_error at the process limit or without room for a stack, or
        // std::bad_alloc: not started, which started() tells
        m_from.reset();
    }
}

BackgroundCopy::~BackgroundCopy() { (void)wait(); }

int BackgroundCopy::wait() {
    if (m_thread.joinable()) m_thread.join();
    // only read through: the writer of the source closes it and hears its write errors
    m_from.reset();
    return m_err;
}

}  // namespace support
