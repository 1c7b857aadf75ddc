#include "run/hop.h"

#include <cerrno>
#include <optional>
#include <system_error>

#include "http/credentials.h"
#include "http/exchange.h"
#include "response/body.h"
#include "response/response_file.h"
#include "run/hop_files.h"
#include "run/report.h"
#include "support/work_files.h"

namespace run {

namespace {

struct Hop {
    const HopSettings& settings;
    const Target& target;
    const redirect::RedirectState& redirects;

    bool loud() const { return settings.mode == Mode::loud; }
    void log_lines(const std::vector<std::string>& lines) const {
        if (!loud()) return;
        for (const auto& line : lines) support::print_line(settings.console, line);
    }
    const support::Console* log() const { return loud() ? &settings.console : nullptr; }
};

// The last hop's page: side files, data log, body, read from the spool.
std::optional<support::Failure> write_page(const Hop& hop, const response::ScanResult& scan,
                                           const HopFiles& files) {
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
    hop.log_lines(response::data_log_lines(scan.position, scan.body_start, files.total()));
    return response::write_body(files.reader(), scan.body_start, files.total(), files.output(),
                                hop.target.output_file);
}

// The hop in its order: dial, send, receive, store, scan, body. `step` is the step it is
// in, the one an exception thrown from here fails.
HopEnd fetch_hop(const Hop& hop, http::Dialed& dialed, HopFiles& files, support::Problem& step) {
    // dial
    step = support::Problem::connect;
    dialed = hop.settings.network.dial(hop.target.url, hop.settings.network.reach);
    hop.log_lines(internal_log_lines(dialed.shown));
    const std::string tunnel_head = http::masked_head(dialed.tunnel_head);
    if (dialed.failure) {
        if (!tunnel_head.empty()) hop.log_lines(contact_log_lines(tunnel_head, {}));
        return *dialed.failure;
    }

    // send
    step = support::Problem::send;
    const std::string head =
        http::build_request_head(hop.settings.method, hop.target.url, k_version, dialed.http_proxy,
                                 http::authorization_for(hop.target.credentials, hop.target.url));
    hop.log_lines(contact_log_lines(tunnel_head, http::masked_head(head)));
    if (auto failure = dialed.stream.send_all(head + "\r\n")) return *failure;

    // receive
    if (auto failure = files.create_spool()) return *failure;
    hop.log_lines({std::string(k_download_log)});
    step = support::Problem::receive;
    const http::Received received = http::receive_to_spool(
        dialed.stream, hop.settings.method, hop.settings.network.reach.timeouts.idle_ms,
        files.spool(), support::k_spool_file, hop.log());
    if (received.signal != 0) return Signalled{received.signal};
    if (received.failure) {
        if (received.failure->what == support::Problem::receive) files.keep_partial(received.total);
        return *received.failure;
    }

    // store
    step = support::Problem::file;
    const auto spool_length = files.spool_length();
    if (const auto* failure = std::get_if<support::Failure>(&spool_length)) return *failure;
    hop.log_lines(download_length_lines(std::get<std::int64_t>(spool_length)));
    if (auto failure = files.store(received.total)) return *failure;
    if (auto failure = files.open_output(hop.target.output_file)) return *failure;

    // scan
    hop.log_lines({std::string(k_file_log)});
    response::ScanResult scan;
    if (auto failure = response::scan_response_file(files.reader(), files.total(),
                                                    support::k_spool_file, scan)) {
        return *failure;
    }
    if (hop.loud()) {
        if (auto failure = response::echo_scanned(hop.settings.console, files.reader(),
                                                  scan.position, support::k_spool_file)) {
            return *failure;
        }
    }

    // body, or the redirect
    if (scan.outcome == response::ScanOutcome::location) {
        if (hop.redirects.count == 0) {
            if (auto failure = files.preserve_first_response()) return *failure;
        }
        if (auto failure = files.close_output()) return *failure;
        return Redirected{std::move(scan.location_value)};
    }
    if (auto failure = write_page(hop, scan, files)) return *failure;
    if (auto failure = files.close_output()) return *failure;
    return PageWritten{};
}

// A failure of `step` with the errno `err`: the connection's steps word theirs by the
// stream, the later ones are the response file's.
support::Failure step_failure(support::Problem step, const http::Stream& stream, int err) {
    if (step == support::Problem::file) {
        return support::file_failure(err, support::k_response_file, "");
    }
    return stream.failure(step, err);
}

}  // namespace

HopEnd fetch(const HopSettings& settings, const Target& target,
             const redirect::RedirectState& redirects) {
    const Hop hop{settings, target, redirects};
    http::Dialed dialed;
    HopFiles files;
    support::Problem step = support::Problem::connect;
    HopEnd end = [&]() -> HopEnd {
        try {
            return fetch_hop(hop, dialed, files, step);
        } catch (const std::system_error& error) {
            // a thread, a lock or another resource of the system that cannot be had ends
            // the step that asked for it, like any failure of it
            return step_failure(step, dialed.stream, error.code().value());
        } catch (...) {
            // all else the standard library throws is for memory or a size it cannot have
            return step_failure(step, dialed.stream, ENOMEM);
        }
    }();
    const bool went_through =
        std::holds_alternative<PageWritten>(end) || std::holds_alternative<Redirected>(end);
    if (auto failure = files.close(went_through)) return *failure;
    if (std::holds_alternative<PageWritten>(end)) dialed.stream.close();
    return end;
}

}  // namespace run
