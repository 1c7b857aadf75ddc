#include "run/driver.h"

#include <cerrno>
#include <optional>
#include <variant>
#include <vector>

#include "redirect/redirect.h"
#include "run/command_line.h"
#include "run/report.h"
#include "support/output_path.h"
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
    void print_lines(const std::vector<std::string>& lines) const {
        for (const auto& line : lines) support::print_line(console, line);
    }
    void log_lines(const std::vector<std::string>& lines) const {
        if (loud()) print_lines(lines);
    }
};

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

// The start of a hop: the banner, after a redirect the limit, then the target checks. How
// the run ends when the target cannot be fetched.
std::optional<Ending> start_hop(const RunState& state, const std::optional<Target>& target,
                                const Ending& timed) {
    state.log_lines(banner_lines(k_version));
    // an empty value is no redirect target: it ends below, as an empty URL
    if (state.redirect.count > redirect::k_max_redirects && !state.redirect.last_value.empty()) {
        // nothing was downloaded: a failure, though it needs no time to read
        static_assert(redirect::k_max_redirects == 5, "the message names the limit");
        state.print_lines(too_many_redirects_lines());
        return k_dead_end;
    }
    if (!target || support::shown_url(target->url).url.empty()) {
        state.print_lines(url_empty_lines());
        // only a command line without arguments asks for nothing
        return state.command.argument_text.empty() ? k_no_url : k_dead_end;
    }
    state.log_lines(command_log_lines(state.command.argument_text, *target));
    // the run would overwrite its own response or side files with the body, or write
    // through a name another user planted
    const std::string& output = target->output_file;
    if (support::is_work_file(output)) {
        state.print_lines(failure_lines(support::file_failure(EINVAL, output, "")));
        return timed;
    }
    if (const int err = support::output_refusal(output)) {
        state.print_lines(failure_lines(support::file_failure(err, output, "")));
        return timed;
    }
    if (target->url.authority.empty()) {
        state.print_lines(no_host_lines());
        return k_usage_error;
    }
    return std::nullopt;
}

// The next hop's target from a Location value, after its notice; none when the value
// gives no URL, which the next hop's start tells.
void follow(RunState& state, const std::string& value, std::optional<Target>& target) {
    const std::optional<support::Url> next =
        redirect::take_redirect(state.redirect, value, target->url);
    support::print_line(state.console, redirect::format_notice(state.redirect.count, value));
    if (!next) {
        target.reset();
        return;
    }
    // a URL with a userinfo brings its own credentials, for its own origin
    auto credentials =
        next->userinfo ? http::credentials_of(*next) : std::move(target->credentials);
    target = Target{" " + target->output_file, *next, target->output_file, std::move(credentials)};
}

// One branch per ending of a hop, so that an ending without one does not compile.
template <class... Branches>
struct Overloaded : Branches... {
    using Branches::operator()...;
};
// spelled out for compilers that deduce no aggregate's arguments (Clang before 17)
template <class... Branches>
Overloaded(Branches...) -> Overloaded<Branches...>;

}  // namespace

Ending download(std::span<const std::string> arguments, const support::Console& console,
                const Network& network) {
    std::string argument_text = join_arguments(arguments);
    if (auto answered = answer_question(argument_text, console)) return *answered;
    RunState state{console, parse_command_line(std::move(argument_text)), {}};
    const Ending timed{1, Wait::timed, state.loud() ? k_loud_wait_ms : k_quiet_wait_ms};
    const HopSettings settings{console, state.command.method, state.command.mode, network};

    std::optional<Target> target = first_target(state.command.tail);
    // every hop's command log shows the arguments, never the password in them
    state.command.argument_text = shown_arguments(state.command, *target);
    for (;;) {
        if (auto ended = start_hop(state, target, timed)) return *ended;

        const HopEnd end = fetch(settings, *target, state.redirect);
        const auto ending = Overloaded{
            [&](const PageWritten&) -> std::optional<Ending> {
                state.log_lines(closing_notes());
                return k_finished;
            },
            [&](const Redirected& redirected) -> std::optional<Ending> {
                follow(state, redirected.value, target);
                return std::nullopt;
            },
            [&](const support::Failure& failure) -> std::optional<Ending> {
                state.print_lines(failure_lines(failure));
                return timed;
            },
            [](const Signalled& signalled) -> std::optional<Ending> {
                return Ending{1, Wait::none, 0, signalled.signal};  // ended by it
            },
        };
        const std::optional<Ending> ended = std::visit(ending, end);
        if (ended) return *ended;
    }
}

}  // namespace run
