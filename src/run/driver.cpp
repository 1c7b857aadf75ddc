#include "run/driver.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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
#include "support/signals.h"
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

// How a hop ends: with a failure, a signal, a redirect, or, when none of these, the page.
struct HopEnd {
    std::optional<support::Failure> failure;
    int signal = 0;
    std::optional<std::string> location_line;
};

HopEnd failed(support::Failure failure) { return HopEnd{std::move(failure), 0, std::nullopt}; }

// The first failure of a written file's close, for files whose last bytes may only now
// turn out not to fit.
std::optional<support::Failure> close_written(support::Fd& file, const std::string& name) {
    if (const int err = file.close()) return support::file_failure(err, name);
    return std::nullopt;
}

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

// Resolve, connect and send the request; the connected socket in `socket`.
std::optional<support::Failure> open_exchange(const Run& run, const Target& target,
                                              support::Fd& socket) {
    const std::uint32_t address = http::resolve_host(target.host);
    run.log_lines(
        {"Internal Log:", "IP: " + support::format_number(http::address_number(address)), ""});
    if (address == 0) return support::Failure{support::Problem::resolve, 0, target.host};
    if (auto failure = http::connect_to(address, run.port, socket)) return failure;

    const std::string head =
        http::build_request_head(run.command.method, target.host, target.path, k_version);
    run.log_lines({"Contact log:", head});
    return http::send_all(socket.get(), head + "\r\n");
}

// The response into a new spool, then exactly its bytes into a new response file.
HopEnd receive_response(const Run& run, int socket, support::Fd& response_file,
                        std::int64_t& total) {
    const std::string& spool_name = support::k_spool_file;
    support::Fd spool = support::create_work_file(spool_name);
    if (!spool) return failed(support::file_failure(errno, spool_name));
    run.log_line("Download log:");
    const http::Received received =
        http::receive_to_spool(socket, spool.get(), spool_name, run.log());
    if (received.signal != 0) return HopEnd{std::nullopt, received.signal, std::nullopt};
    if (received.failure) return failed(*received.failure);
    // the spool's own length, filler included, as a reader of the file would find it
    run.log_lines({"", "Laenge Download: " +
                           support::format_unsigned(
                               static_cast<std::uint64_t>(support::length_of(spool.get()))) +
                           " Bytes."});
    total = received.total;
    if (auto failure = response::make_response_file(spool.get(), received.total,
                                                    support::k_response_file, response_file)) {
        return failed(*failure);
    }
    if (auto failure = close_written(spool, spool_name)) return failed(*failure);
    return {};
}

// Connect, request, receive, scan, and the body when the response is the page.
HopEnd run_hop(const Run& run, const Target& target) {
    support::Fd socket;
    if (auto failure = open_exchange(run, target, socket)) return failed(*failure);

    support::Fd response_file;
    std::int64_t length = 0;
    if (HopEnd end = receive_response(run, socket.get(), response_file, length);
        end.failure || end.signal != 0) {
        return end;
    }
    // made before the scan on every hop, so a hop that redirects leaves it empty
    support::Fd output = support::open_truncated(target.output_file);
    if (!output) return failed(support::file_failure(errno, target.output_file));

    run.log_line("File log:");
    response::ScanResult scan;
    if (auto failure = response::scan_response_file(response_file.get(), length,
                                                    support::k_response_file, scan)) {
        return failed(*failure);
    }
    if (run.loud()) {
        if (auto failure = response::echo_scanned(run.console, response_file.get(), length,
                                                  scan.position, support::k_response_file)) {
            return failed(*failure);
        }
    }

    if (scan.outcome == response::ScanOutcome::location) {
        if (run.redirect.count == 0) {
            if (auto failure = redirect::preserve_first_response(response_file.get())) {
                return failed(*failure);
            }
        }
    } else if (auto failure = finish_page(run, scan, response_file.get(), length, output.get(),
                                          target.output_file)) {
        return failed(*failure);
    }
    if (auto failure = close_written(output, target.output_file)) return failed(*failure);
    if (auto failure = close_written(response_file, support::k_response_file)) {
        return failed(*failure);
    }
    if (scan.outcome == response::ScanOutcome::location) {
        return HopEnd{std::nullopt, 0, std::move(scan.location_line)};
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
        if (hop.signal != 0) return Ending{1, Wait::none, 0, hop.signal};
        if (hop.failure) {
            state.print_lines(failure_lines(*hop.failure));
            return timed;
        }
        if (!hop.location_line) break;

        const std::string_view value = redirect::location_value(*hop.location_line);
        state.command.tail =
            redirect::take_redirect(state.redirect, value, target.url, target.output_file);
        support::print_line(console, redirect::format_notice(state.redirect.count, value));
    }

    state.log_lines(closing_notes());
    return Ending{0, Wait::none, 0};
}

int wait_for(const Ending& ending, int input_fd) {
    switch (ending.wait) {
        case Wait::none:
            return 0;
        case Wait::key:
            return support::key_wait(input_fd);
        case Wait::timed:
            return support::timed_wait(input_fd, ending.wait_ms);
    }
    return 0;
}

namespace {

// No socket or file may become standard input, output or error: a closed one is opened
// on /dev/null, so console lines never reach a server or a file.
void keep_standard_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        const int null = ::open("/dev/null", O_RDWR);  // takes the lowest free number: fd
        if (null >= 0 && null != fd) ::close(null);
    }
}

}  // namespace

int run_program(int argc, char** argv) {
    keep_standard_descriptors();
    // a console pipe that closes early must not end the run before its body is written
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Ending ending = run(arguments, support::standard_console());
    int signal = ending.signal;
    if (signal == 0) signal = wait_for(ending, STDIN_FILENO);
    // a hang-up or termination ends a wait like a key; an interrupt or quit ends the run
    if (signal != 0 && (ending.signal != 0 || signal == SIGINT || signal == SIGQUIT)) {
        support::end_as_signal(signal);
    }
    return ending.code;
}

}  // namespace run
