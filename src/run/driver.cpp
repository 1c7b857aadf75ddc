#include "run/driver.h"

#include <sys/socket.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "http/connection.h"
#include "http/exchange.h"
#include "redirect/redirect.h"
#include "response/body.h"
#include "response/response_file.h"
#include "run/command_line.h"
#include "run/report.h"
#include "support/file.h"
#include "support/wait.h"
#include "support/work_files.h"

namespace run {

namespace {

constexpr std::int64_t k_loud_wait_ms = 60'000;  // long enough to read the message
constexpr std::int64_t k_quiet_wait_ms = 6'000;  // a batch file should not stall long

struct Run {
    const support::Console& console;
    CommandLine command;
    redirect::RedirectState redirect;
    std::uint16_t port;

    bool loud() const { return command.mode == Mode::loud; }
    // the console for log lines, or none in quiet mode
    const support::Console* log() const { return loud() ? &console : nullptr; }
    void print_lines(const std::vector<std::string>& lines) const {
        for (const auto& line : lines) support::print_line(console, line);
    }
    void log_lines(const std::vector<std::string>& lines) const {
        if (loud()) print_lines(lines);
    }
    void log_line(std::string_view line) const {
        if (loud()) support::print_line(console, line);
    }
};

// How a hop that did not fail goes on: to the next hop, or to the end of the run.
struct HopEnd {
    std::optional<support::Failure> failure;
    std::optional<std::string> location_line;
};

HopEnd failed(support::Failure failure) { return HopEnd{std::move(failure), std::nullopt}; }

// The last hop's end: side files, data log, body.
std::optional<support::Failure> finish_page(const Run& run, const response::ScanResult& scan,
                                            int response_file, std::int64_t length, int output,
                                            const std::string& output_name) {
    if (!run.loud()) {
        if (auto failure =
                response::write_side_file(support::k_redirected_file, run.redirect.target)) {
            return failure;
        }
        if (auto failure =
                response::write_side_file(support::k_modified_file, scan.last_modified)) {
            return failure;
        }
    }
    run.log_lines(response::data_log_lines(scan.position, length));
    return response::write_body(response_file, response::data_range(scan.position, length), output,
                                output_name);
}

// Connect, request, receive, scan, and the body when the response is the page.
HopEnd run_hop(const Run& run, const Target& target) {
    const std::uint32_t address = http::resolve_host(target.host);
    run.log_lines(
        {"Internal Log:", "IP: " + support::format_number(http::address_number(address)), ""});
    if (address == 0) return failed({support::Problem::resolve, 0, target.host});

    support::Fd socket;
    if (auto failure = http::connect_to(address, run.port, socket)) return failed(*failure);

    const std::string head =
        http::build_request_head(run.command.method, target.host, target.path, k_version);
    run.log_lines({"Contact log:", head});
    if (auto failure = http::send_all(socket.get(), head + "\r\n")) return failed(*failure);

    support::remove_file(support::k_spool_file);
    support::Fd spool = support::open_read_write(support::k_spool_file);
    if (!spool) return failed(support::file_failure(support::k_spool_file));
    run.log_line("Download log:");
    const http::Received received =
        http::receive_to_spool(socket.get(), spool.get(), support::k_spool_file, run.log());
    if (received.failure) return failed(*received.failure);
    run.log_lines({"", "Laenge Download: " +
                           support::format_unsigned(
                               static_cast<std::uint64_t>(support::length_of(spool.get()))) +
                           " Bytes."});

    support::Fd response_file;
    if (auto failure = response::make_response_file(spool.get(), received.total,
                                                    support::k_response_file, response_file)) {
        return failed(*failure);
    }
    spool.reset();
    // made before the scan on every hop, so a hop that redirects leaves it empty
    const support::Fd output = support::open_truncated(target.output_file);
    if (!output) return failed(support::file_failure(target.output_file));

    run.log_line("File log:");
    const response::ScanResult scan =
        response::scan_response_file(response_file.get(), received.total);
    if (run.loud())
        response::echo_scanned(run.console, response_file.get(), received.total, scan.position);
    if (scan.outcome == response::ScanOutcome::location)
        return HopEnd{std::nullopt, scan.location_line};

    if (auto failure = finish_page(run, scan, response_file.get(), received.total, output.get(),
                                   target.output_file)) {
        return failed(*failure);
    }
    ::shutdown(socket.get(), SHUT_RDWR);
    return {};
}

}  // namespace

Ending run(std::span<const std::string> arguments, const support::Console& console,
           std::uint16_t port) {
    Run state{console, parse_command_line(join_arguments(arguments)), {}, port};
    const Ending timed{1, Wait::timed, state.loud() ? k_loud_wait_ms : k_quiet_wait_ms};

    for (;;) {
        Target target = split_tail(state.command.tail);
        state.log_lines(banner_lines(k_version));

        if (!state.redirect.target.empty()) {
            if (state.redirect.count > redirect::k_max_redirects) {
                // nothing was downloaded: a failure, though it needs no time to read
                state.print_lines({"Too much (>5) redirections!", ""});
                return Ending{1, Wait::none, 0};
            }
            state.command.tail =
                redirect::next_url(state.redirect, target.url) + " " + target.output_file;
            target = split_tail(state.command.tail);
        }

        if (target.url.empty()) {
            state.print_lines({"URL is empty. See usage!", ""});
            // only a command line without a URL is a request for the usage; an empty
            // Location value is a download that failed
            return Ending{state.redirect.count > 0 ? 1 : 0, Wait::none, 0};
        }
        state.log_lines(command_log_lines(state.command.argument_text, state.command.tail, target));
        if (support::is_work_file(target.output_file)) {
            // the run would overwrite its own response or side files with the body
            state.print_lines(failure_lines({support::Problem::file, EINVAL, target.output_file}));
            return timed;
        }
        if (target.host.empty()) {
            state.print_lines({"No URL given.", "Usage: URL [filename]"});
            return Ending{1, Wait::key, 0};
        }

        const HopEnd hop = run_hop(state, target);
        if (hop.failure) {
            state.print_lines(failure_lines(*hop.failure));
            return timed;
        }
        if (!hop.location_line) break;

        const std::string_view value = redirect::location_value(*hop.location_line);
        if (state.redirect.count == 0) redirect::preserve_first_response(support::k_response_file);
        state.command.tail =
            redirect::take_redirect(state.redirect, value, target.url, target.output_file);
        support::print_line(console, redirect::format_notice(state.redirect.count, value));
    }

    state.log_lines(closing_notes());
    return Ending{0, Wait::none, 0};
}

void wait_for(const Ending& ending, int input_fd) {
    switch (ending.wait) {
        case Wait::none:
            return;
        case Wait::key:
            support::key_wait(input_fd);
            return;
        case Wait::timed:
            support::timed_wait(input_fd, ending.wait_ms);
            return;
    }
}

int run_program(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Ending ending = run(arguments, support::standard_console());
    wait_for(ending, 0);
    return ending.code;
}

}  // namespace run
