#include "run/hop.h"

#include <fcntl.h>

#include <cerrno>
#include <optional>
#include <system_error>

#include "http/credentials.h"
#include "http/exchange.h"
#include "response/body.h"
#include "response/response_file.h"
#include "run/report.h"
#include "support/file.h"
#include "support/output_path.h"
#include "support/work_files.h"

namespace run {

namespace {

struct Hop {
    const HopSettings& settings;
    const Target& target;
    const redirect::RedirectState& redirects;
    // the step the hop is in, which an exception thrown in it fails: the connection's steps
    // word their failures by the stream, the later ones are the response file's
    support::Problem step = support::Problem::connect;
    const http::Stream& stream;

    support::Failure failed(int err) const {
        if (step == support::Problem::file) {
            return support::file_failure(err, support::k_response_file, "");
        }
        return stream.failure(step, err);
    }

    bool loud() const { return settings.mode == Mode::loud; }
    void log_lines(const std::vector<std::string>& lines) const {
        if (!loud()) return;
        for (const auto& line : lines) support::print_line(settings.console, line);
    }
    const support::Console* log() const { return loud() ? &settings.console : nullptr; }
};

// The first failure of a written file's close, for files whose last bytes may only now
// turn out not to fit.
std::optional<support::Failure> close_written(support::Fd& file, const std::string& name) {
    if (const int err = file.close()) return support::file_failure(err, name, "close");
    return std::nullopt;
}

// The last hop's end: side files, data log, body, read from a file that begins with the
// response.
std::optional<support::Failure> finish_page(const Hop& hop, const response::ScanResult& scan,
                                            int source, std::int64_t length, int output) {
    if (!hop.loud()) {
        if (auto failure =
                response::write_side_file(support::k_redirected_file, hop.redirects.last_value)) {
            return failure;
        }
        if (auto failure =
                response::write_side_file(support::k_modified_file, scan.last_modified)) {
            return failure;
        }
    }
    hop.log_lines(response::data_log_lines(scan.position, scan.body_start, length));
    return response::write_body(source, scan.body_start, length, output, hop.target.output_file);
}

// What a hop received: its length, and the spool open for reading, which begins with the
// response.
struct Received {
    std::int64_t length = 0;
    support::Fd spool;
};

// The response into a new spool, then exactly its bytes into a new response file, copied in
// the background into `response_file` by `copy`. A receive that failed still leaves what
// arrived in both.
std::variant<Received, support::Failure, Signalled> receive_response(
    Hop& hop, const http::Stream& stream, support::Fd& response_file,
    std::optional<support::BackgroundCopy>& copy) {
    const std::string& spool_name = support::k_spool_file;
    support::Fd spool = support::create_work_file(spool_name);
    if (!spool) return support::file_failure(errno, spool_name, "open");
    hop.log_lines({std::string(k_download_log)});
    hop.step = support::Problem::receive;
    const http::Received received = http::receive_to_spool(
        stream, hop.settings.method, hop.settings.network.reach.timeouts.idle_ms, spool.get(),
        spool_name, hop.log());
    if (received.signal != 0) return Signalled{received.signal};
    if (received.failure) {
        if (received.failure->what == support::Problem::receive) {
            // kept for whoever looks into the failure; the receive's own failure is the one told
            (void)response::make_response_file(spool.get(), received.total,
                                               support::k_response_file, response_file);
        }
        return *received.failure;
    }
    hop.step = support::Problem::file;
    // the spool's own length, filler included, as a reader of the file would find it
    const std::int64_t spool_length = support::length_of(spool.get());
    if (spool_length < 0) return support::file_failure(errno, spool_name, "fstat");
    hop.log_lines(download_length_lines(spool_length));
    // the rest of the hop reads the spool through a descriptor of its own, so the spool is
    // closed, and a late write error told, where it always was
    Received done{received.total, support::Fd(::fcntl(spool.get(), F_DUPFD_CLOEXEC, 0))};
    if (!done.spool) return support::file_failure(errno, spool_name, "dup");
    if (auto failure = response::start_response_file(
            done.spool.get(), received.total, support::k_response_file, response_file, copy)) {
        return *failure;
    }
    if (auto failure = close_written(spool, spool_name)) return *failure;
    return done;
}

// From the output file on: the scan, the echo, and the body or the preserved first response,
// all read from the spool while `response_file` is being copied.
HopEnd finish_hop(Hop& hop, const Received& received, const support::Fd& response_file) {
    // made before the scan on every hop, so a hop that redirects leaves it empty; a name
    // that only now leads to the spool or the response file (/dev/fd/N) is a work file's
    const std::string& output_name = hop.target.output_file;
    const int work_files[] = {received.spool.get(), response_file.get()};
    support::Fd output = support::open_output(output_name, work_files);
    if (!output) return support::file_failure(errno, output_name, "open");

    hop.log_lines({std::string(k_file_log)});
    const int spool = received.spool.get();
    const std::string& spool_name = support::k_spool_file;
    response::ScanResult scan;
    if (auto failure = response::scan_response_file(spool, received.length, spool_name, scan)) {
        return *failure;
    }
    if (hop.loud()) {
        if (auto failure =
                response::echo_scanned(hop.settings.console, spool, scan.position, spool_name)) {
            return *failure;
        }
    }
    if (scan.outcome == response::ScanOutcome::location) {
        if (hop.redirects.count == 0) {
            if (auto failure = redirect::preserve_first_response(spool, received.length)) {
                return *failure;
            }
        }
        if (auto failure = close_written(output, output_name)) return *failure;
        return Redirected{std::move(scan.location_value)};
    }
    if (auto failure = finish_page(hop, scan, spool, received.length, output.get())) {
        return *failure;
    }
    if (auto failure = close_written(output, output_name)) return *failure;
    return PageWritten{};
}

// Everything up to the output's close; the response file and its copy beside the hop are
// the caller's, who waits for the copy however this ends.
HopEnd fetch_hop(Hop& hop, http::Dialed& dialed, support::Fd& response_file,
                 std::optional<support::BackgroundCopy>& copy) {
    dialed = hop.settings.network.dial(hop.target.url, hop.settings.network.reach);
    hop.log_lines(internal_log_lines(dialed.shown));
    const std::string tunnel_head = http::masked_head(dialed.tunnel_head);
    if (dialed.failure) {
        if (!tunnel_head.empty()) hop.log_lines(contact_log_lines(tunnel_head, {}));
        return *dialed.failure;
    }
    const http::Stream& stream = dialed.stream;

    hop.step = support::Problem::send;
    const std::string head =
        http::build_request_head(hop.settings.method, hop.target.url, k_version, dialed.http_proxy,
                                 http::authorization_for(hop.target.credentials, hop.target.url));
    hop.log_lines(contact_log_lines(tunnel_head, http::masked_head(head)));
    if (auto failure = stream.send_all(head + "\r\n")) return *failure;

    auto received = receive_response(hop, stream, response_file, copy);
    if (const auto* failure = std::get_if<support::Failure>(&received)) return *failure;
    if (const auto* signalled = std::get_if<Signalled>(&received)) return *signalled;
    return finish_hop(hop, std::get<Received>(received), response_file);
}

}  // namespace

HopEnd fetch(const HopSettings& settings, const Target& target,
             const redirect::RedirectState& redirects) {
    http::Dialed dialed;
    Hop hop{settings, target, redirects, support::Problem::connect, dialed.stream};
    support::Fd response_file;
    // after the file it writes to, so that it is waited for before that closes
    std::optional<support::BackgroundCopy> copy;
    HopEnd end = [&]() -> HopEnd {
        try {
            return fetch_hop(hop, dialed, response_file, copy);
        } catch (const std::system_error& error) {
            // a thread, a lock or another resource of the system that cannot be had ends
            // the step that asked for it, like any failure of it
            return hop.failed(error.code().value());
        } catch (...) {
            // all else the standard library throws is for memory or a size it cannot have
            return hop.failed(ENOMEM);
        }
    }();
    // a failed copy of the response file came first in the order of the hop's steps
    if (const int err = copy ? copy->wait() : 0) {
        return support::file_failure(err, support::k_response_file, "copy");
    }
    if (std::holds_alternative<support::Failure>(end) || std::holds_alternative<Signalled>(end)) {
        return end;
    }
    if (auto failure = close_written(response_file, support::k_response_file)) return *failure;
    if (std::holds_alternative<PageWritten>(end)) dialed.stream.close();
    return end;
}

}  // namespace run
