#include "run/report.h"

#include "support/console.h"
#include "support/text.h"

namespace run {

namespace {

constexpr std::size_t k_banner_width = 74;
constexpr std::string_view k_version_lead_in = "# Pageglean tool Version ";  // 25 characters
constexpr std::string_view k_home_page = "http://pageglean.example/";
constexpr std::string_view k_contact = "maintainer@pageglean.example";

std::string error_line(int err, std::string_view call) {
    return "Error:" + support::format_number(err) + " Calling: " + std::string(call);
}

}  // namespace

std::vector<std::string> banner_lines(std::string_view version) {
    const std::string rule(k_banner_width, '#');
    std::string version_line =
        std::string(k_version_lead_in) + std::string(version) + " - 2006 Okt. 31" +
        support::blanks(33 - static_cast<std::int64_t>(version.size())) + "#";
    std::string home_line = "# See also " + std::string(k_home_page);
    home_line += support::blanks(static_cast<std::int64_t>(k_banner_width - 1) -
                                 static_cast<std::int64_t>(home_line.size())) +
                 "#";
    return {
        "",
        rule,
        "# Pageglean. Downloading webpage sources into a file.                    #",
        version_line,
        home_line,
        "# Usage: pageglean.exe [-head] URL [filename]                            #",
        rule,
        "",
    };
}

std::vector<std::string> command_log_lines(std::string_view argument_text, std::string_view tail,
                                           const Target& target) {
    return {
        "Command log: " + std::string(argument_text),
        "Command: " + std::string(tail),
        "URL: " + target.url,
        "Host: " + target.host,
        "Path: " + target.path,
        "File: " + target.output_file,
        "",
    };
}

std::vector<std::string> closing_notes() {
    return {
        "",
        "Notes:",
        "Contact: " + std::string(k_contact),
        "In the case of an error send me this output.",
        "",
        "Please note, that I cannot answer all questions, but try to fix problems",
        "as soons as possible.",
    };
}

std::vector<std::string> failure_lines(const support::Failure& failure) {
    constexpr std::string_view k_socket_trouble =
        "Socket error. Connection to internet has a problem.";
    switch (failure.what) {
        case support::Problem::resolve:
            return {"No connection to host available.",
                    "Error: ResolveHost: '" + failure.name + "'."};
        case support::Problem::socket:
            return {std::string(k_socket_trouble), error_line(failure.err, "socket()")};
        case support::Problem::connect:
            return {std::string(k_socket_trouble), error_line(failure.err, "connect()")};
        case support::Problem::send:
            return {"Send problem.", error_line(failure.err, "send()")};
        case support::Problem::receive:
            return {"Receive problem.", error_line(failure.err, "recv()")};
        case support::Problem::file:
            break;
    }
    return {"File problem.",
            "Error:" + support::format_number(failure.err) + " Writing: '" + failure.name + "'."};
}

}  // namespace run
