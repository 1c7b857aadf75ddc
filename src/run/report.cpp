// These bytes are the program's output, which scripts and batch files read: they are never
// corrected, the spellings that look like typos ("Laenge", "Okt.", "soons") included.

#include "run/report.h"

#include "support/console.h"
#include "support/text.h"

namespace run {

namespace {

constexpr std::size_t k_banner_width = 74;
constexpr std::string_view k_version_lead_in = "# Pageglean tool Version ";  // 25 characters
constexpr std::string_view k_home_page = "http://pageglean.example/";
constexpr std::string_view k_contact = "maintainer@pageglean.example";

// The text, blanks up to one short of the banner's width, and the closing "#".
std::string framed(std::string text) {
    text += support::blanks(static_cast<std::int64_t>(k_banner_width - 1) -
                            static_cast<std::int64_t>(text.size()));
    return text + "#";
}

}  // namespace

std::vector<std::string> banner_lines(std::string_view version) {
    const std::string rule(k_banner_width, '#');
    const std::string version_line =
        framed(std::string(k_version_lead_in) + std::string(version) + " - 2006 Okt. 31");
    const std::string home_line = framed("# See also " + std::string(k_home_page));
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

std::vector<std::string> command_log_lines(std::string_view argument_text, const Target& target) {
    const support::ShownUrl shown = support::shown_url(target.url);
    return {
        "Command log: " + std::string(argument_text),
        "Command: " + support::url_text(target.url) + target.after_url,
        "URL: " + shown.url,
        "Host: " + shown.host,
        "Path: " + shown.path,
        "File: " + target.output_file,
        "",
    };
}

std::vector<std::string> internal_log_lines(std::string_view shown_address) {
    return {"Internal Log:", "IP: " + std::string(shown_address), ""};
}

std::vector<std::string> contact_log_lines(std::string_view tunnel_head, std::string_view head) {
    std::vector<std::string> lines{"Contact log:"};
    for (const std::string_view part : {tunnel_head, head}) {
        if (!part.empty()) lines.emplace_back(part);
    }
    return lines;
}

std::vector<std::string> download_length_lines(std::int64_t spool_length) {
    return {"", "Laenge Download: " +
                    support::format_unsigned(static_cast<std::uint64_t>(spool_length)) + " Bytes."};
}

std::vector<std::string> url_empty_lines() { return {"URL is empty. See usage!", ""}; }

std::vector<std::string> no_host_lines() { return {"No URL given.", "Usage: URL [filename]"}; }

std::vector<std::string> too_many_redirects_lines() { return {"Too much (>5) redirections!", ""}; }

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
    // a reason in words stands where the number would
    const std::string detail = failure.name.empty() ? "Error:" + support::format_number(failure.err)
                                                    : "Error: " + failure.name;
    const std::string calling = detail + " Calling: " + std::string(failure.call);
    switch (failure.what) {
        case support::Problem::resolve:
            return {"No connection to host available.",
                    "Error: ResolveHost: '" + failure.name + "'."};
        case support::Problem::connect:
            return {"Socket error. Connection to internet has a problem.", calling};
        case support::Problem::send:
            return {"Send problem.", calling};
        case support::Problem::receive:
            return {"Receive problem.", calling};
        case support::Problem::file:
            break;
    }
    return {"File problem.",
            "Error:" + support::format_number(failure.err) + " Writing: '" + failure.name + "'."};
}

}  // namespace run

namespace run {

std::string usage_text() {
    return "Usage: pageglean [-head |-get ][-q ]URL [output file]\n"
           "Downloads one web page with an HTTP/1.0 request (over TLS for https://) and\n"
           "writes its body to the output file, pageglean.out when none is given.\n"
           "\n"
           "  -head         send HEAD: only the header comes back, the output stays empty\n"
           "  -get          send GET (the default)\n"
           "  -q            quiet: nothing printed on success; the last redirect target and\n"
           "                the Last-Modified date are left in pageglean.redirected and\n"
           "                pageglean.modified\n"
           "  output file   the rest of the command line, blanks included\n"
           "\n"
           "Exit status 0 when the body was written. More in man pageglean.\n";
}

std::string version_text() { return "pageglean " + k_version + "\n"; }

std::string wait_hint(std::int64_t wait_ms, bool keys) {
    if (wait_ms == 0) return "pageglean: press a key to end.\n";
    std::string hint = "pageglean: waiting " + std::to_string(wait_ms / 1000) + " seconds";
    return hint + (keys ? "; a key ends the wait.\n" : ".\n");
}

std::string timeout_ignored(std::string_view value) {
    return "pageglean: PAGEGLEAN_TIMEOUT=" + std::string(value) +
           " is not a whole number of seconds; the defaults apply\n";
}

}  // namespace run
