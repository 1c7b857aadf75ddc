#pragma once

// The files of one hop, in the order it makes them, and the order in which their failures
// are told.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "support/background_copy.h"
#include "support/failure.h"
#include "support/fd.h"

namespace run {

// Owns, in the order the hop makes them: the spool the response is received into; the
// spool's reading descriptor, through which the scan, the echo, the body and the preserved
// first response read it; the response file, made at once or copied in the background; the
// output. Each step tells its own failure as it happens, with one exception stated in
// close(): a failed copy of the response file began first, so it is told first.
class HopFiles {
  public:
    HopFiles() = default;
    HopFiles(const HopFiles&) = delete;
    HopFiles& operator=(const HopFiles&) = delete;

    // A new spool; its descriptor in spool(). A failure of the create is a failure.
    [[nodiscard]] std::optional<support::Failure> create_spool();
    int spool() const { return m_spool.get(); }

    // After a receive that failed: what arrived, as a response file for whoever looks into
    // the failure. Its own failure is never told; the receive's is.
    void keep_partial(std::int64_t total);

    // The spool's length, filler included, as a reader of the file would find it.
    [[nodiscard]] std::variant<std::int64_t, support::Failure> spool_length() const;

    // The first `total` bytes of the spool made the response file (from 4 MiB on, copied
    // beside the rest of the hop), then the spool closed with its late write error told;
    // from here on it is read through reader(), which begins with the response.
    [[nodiscard]] std::optional<support::Failure> store(std::int64_t total);
    int reader() const { return m_reader.get(); }
    std::int64_t total() const { return m_total; }

    // The output, made before the scan on every hop, so that a hop that redirects leaves it
    // empty; a name that only now leads to the spool or the response file (/dev/fd/N) is
    // refused as a work file.
    [[nodiscard]] std::optional<support::Failure> open_output(const std::string& name);
    int output() const { return m_output.get(); }
    // The output's close, whose failure is the last bytes not fitting.
    [[nodiscard]] std::optional<support::Failure> close_output();

    // The response as the preserved first one, read from the spool.
    [[nodiscard]] std::optional<support::Failure> preserve_first_response() const;

    // The hop's end, however it came: waits for the copy, whose failure is told before the
    // hop's own; then, for a hop that went through, the response file's close.
    [[nodiscard]] std::optional<support::Failure> close(bool went_through);

  private:
    support::Fd m_spool;
    support::Fd m_reader;
    std::int64_t m_total = 0;
    support::Fd m_response;
    // after the file it writes to, so that it is waited for before that closes
    std::optional<support::BackgroundCopy> m_copy;
    support::Fd m_output;
    std::string m_output_name;
};

}  // namespace run
