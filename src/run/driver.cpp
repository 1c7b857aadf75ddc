#include "run/driver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <vector>

#include "http/connection.h"
#include "http/exchange.h"
#include "http/stream.h"
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

struct RunState {
    const support::Console& console;
    CommandLine command;
    redirect::RedirectState redirect;

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
    std::optional<std::string> location_value;
};

HopEnd failed(support::Failure failure) { return HopEnd{std::move(failure), 0, std::nullopt}; }

// The first failure of a written file's close, for files whose last bytes may only now
// turn out not to fit.
std::optional<support::Failure> close_written(support::Fd& file, const std::string& name) {
    if (const int err = file.close()) return support::file_failure(err, name);
    return std::nullopt;
}

// The last hop's end: side files, data log, body.
std::optional<support::Failure> finish_page(const RunState& state, const response::ScanResult& scan,
                                            int response_file, std::int64_t length, int output,
                                            const std::string& output_name) {
    if (!state.loud()) {
        if (auto failure =
                response::write_side_file(support::k_redirected_file, state.redirect.last_value)) {
            return failure;
        }
        if (auto failure =
                response::write_side_file(support::k_modified_file, scan.last_modified)) {
            return failure;
        }
    }
    state.log_lines(response::data_log_lines(scan.position, scan.body_start, length));
    return response::write_body(response_file, scan.body_start, length, output, output_name);
}

// Resolve, connect (with TLS for https://) and send the request over `stream`.
std::optional<support::Failure> open_exchange(const RunState& state, const Target& target,
                                              http::Stream& stream) {
    const std::uint32_t address = http::resolve_host(target.host);
    state.log_lines(
        {"Internal Log:", "IP: " + support::format_number(http::address_number(address)), ""});
    if (address == 0) return support::Failure{support::Problem::resolve, 0, target.host};
    const bool tls = http::wants_tls(state.command.tail);
    support::Fd socket;
    if (auto failure = http::connect_to(address, tls ? k_https_port : k_http_port, socket)) {
        return failure;
    }
    stream = http::Stream(std::move(socket));
    if (tls) {
        if (auto failure = stream.start_tls(target.host)) return failure;
    }

    const std::string head =
        http::build_request_head(state.command.method, target.host, target.path, k_version);
    state.log_lines({"Contact log:", head});
    return stream.send_all(head + "\r\n");
}

// The response into a new spool, then exactly its bytes into a new response file.
HopEnd receive_response(const RunState& state, const http::Stream& stream,
                        support::Fd& response_file, std::int64_t& total) {
    const std::string& spool_name = support::k_spool_file;
    support::Fd spool = support::create_work_file(spool_name);
    if (!spool) return failed(support::file_failure(errno, spool_name));
    state.log_line("Download log:");
    const http::Received received =
        http::receive_to_spool(stream, spool.get(), spool_name, state.log());
    if (received.signal != 0) return HopEnd{std::nullopt, received.signal, std::nullopt};
    if (received.failure) return failed(*received.failure);
    // the spool's own length, filler included, as a reader of the file would find it
    state.log_lines({"", "Laenge Download: " +
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
HopEnd fetch_hop(const RunState& state, const Target& target) {
    http::Stream stream;
    if (auto failure = open_exchange(state, target, stream)) return failed(*failure);

    support::Fd response_file;
    std::int64_t length = 0;
    if (HopEnd end = receive_response(state, stream, response_file, length);
        end.failure || end.signal != 0) {
        return end;
    }
    // made before the scan on every hop, so a hop that redirects leaves it empty
    support::Fd output = support::open_truncated(target.output_file);
    if (!output) return failed(support::file_failure(errno, target.output_file));

    state.log_line("File log:");
    response::ScanResult scan;
    if (auto failure = response::scan_response_file(response_file.get(), length,
                                                    support::k_response_file, scan)) {
        return failed(*failure);
    }
    if (state.loud()) {
        if (auto failure = response::echo_scanned(state.console, response_file.get(), length,
                                                  scan.position, support::k_response_file)) {
            return failed(*failure);
        }
    }

    if (scan.outcome == response::ScanOutcome::location) {
        if (state.redirect.count == 0) {
            if (auto failure = redirect::preserve_first_response(response_file.get())) {
                return failed(*failure);
            }
        }
    } else if (auto failure = finish_page(state, scan, response_file.get(), length, output.get(),
                                          target.output_file)) {
        return failed(*failure);
    }
    if (auto failure = close_written(output, target.output_file)) return failed(*failure);
    if (auto failure = close_written(response_file, support::k_response_file)) {
        return failed(*failure);
    }
    if (scan.outcome == response::ScanOutcome::location) {
        return HopEnd{std::nullopt, 0, std::move(scan.location_value)};
    }
    stream.close();
    return {};
}

// --help and --version: a run that could only have failed as a host name is answered.
std::optional<Ending> answer_question(const std::string& argument_text,
                                      const support::Console& console) {
    if (argument_text == "--help" || argument_text == "-h") {
        support::print(console, usage_text());
        return k_finished;
    }
    if (argument_text == "--version" || argument_text == "-V") {
        support::print(console, version_text());
        return k_finished;
    }
    return std::nullopt;
}

// The start of a hop: its target split from the command tail, the banner, after a
// redirect the limit and the resolution, then the target checks. How the run ends when it
// cannot go on.
std::optional<Ending> start_hop(RunState& state, Target& target, const Ending& timed) {
    target = split_tail(state.command.tail);
    state.log_lines(banner_lines(k_version));

    if (!state.redirect.last_value.empty()) {
        if (state.redirect.count > redirect::k_max_redirects) {
            // nothing was downloaded: a failure, though it needs no time to read
            static_assert(redirect::k_max_redirects == 5, "the message names the limit");
            state.print_lines({std::string(k_too_many_redirects), ""});
            return k_dead_end;
        }
        state.command.tail = redirect::next_tail(state.redirect, target.url, target.output_file);
        target = split_tail(state.command.tail);
    }

    if (target.url.empty()) {
        state.print_lines({"URL is empty. See usage!", ""});
        // only a command line without a URL is a request for the usage; an empty Location
        // value is a download that failed
        return state.redirect.count > 0 ? k_dead_end : k_no_url;
    }
    state.log_lines(command_log_lines(state.command.argument_text, state.command.tail, target));
    if (support::is_work_file(target.output_file)) {
        // the run would overwrite its own response or side files with the body
        state.print_lines(failure_lines({support::Problem::file, EINVAL, target.output_file}));
        return timed;
    }
    if (target.host.empty()) {
        state.print_lines({"No URL given.", "Usage: URL [filename]"});
        return k_usage_error;
    }
    return std::nullopt;
}

}  // namespace

Ending download(std::span<const std::string> arguments, const support::Console& console) {
    std::string argument_text = join_arguments(arguments);
    if (auto answered = answer_question(argument_text, console)) return *answered;
    RunState state{console, parse_command_line(std::move(argument_text)), {}};
    const Ending timed{1, Wait::timed, state.loud() ? k_loud_wait_ms : k_quiet_wait_ms};

    for (;;) {
        Target target;
        if (auto ended = start_hop(state, target, timed)) return *ended;

        const HopEnd hop = fetch_hop(state, target);
        if (hop.signal != 0) return Ending{1, Wait::none, 0, hop.signal};  // ended by it
        if (hop.failure) {
            state.print_lines(failure_lines(*hop.failure));
            return timed;
        }
        if (!hop.location_value) break;

        const std::string& value = *hop.location_value;
        state.command.tail =
            redirect::take_redirect(state.redirect, value, target.url, target.output_file,
                                    http::wants_tls(state.command.tail));
        support::print_line(console, redirect::format_notice(state.redirect.count, value));
    }

    state.log_lines(closing_notes());
    return k_finished;
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
    const Ending ending = download(arguments, support::standard_console());
    int signal = ending.signal;
    if (signal == 0 && ending.wait != Wait::none) {
        // a person at a terminal learns why nothing happens; standard output stays as it is
        const bool keys = ::isatty(STDIN_FILENO) == 1;
        if (::isatty(STDERR_FILENO) == 1 && (keys || ending.wait == Wait::timed)) {
            const std::string hint = wait_hint(ending.wait_ms, keys);
            (void)support::write_all(STDERR_FILENO, hint);
        }
        signal = wait_for(ending, STDIN_FILENO);
    }
    // a hang-up or termination ends a wait like a key; an interrupt or quit ends the run
    if (signal != 0 && (ending.signal != 0 || signal == SIGINT || signal == SIGQUIT)) {
        support::end_as_signal(signal);
    }
    return ending.code;
}

}  // namespace run
