// The command line and the split of a command tail, on any argument text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "run/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const run::CommandLine command = run::parse_command_line(text);
    fuzz::check(command.argument_text == text);
    fuzz::check(text.ends_with(command.tail));

    const run::Split target = run::split_tail(command.tail);
    fuzz::check(target.url.find(' ') == std::string::npos);
    // the output file is never empty and trimmed at both ends
    fuzz::check(!target.output_file.empty());
    fuzz::check(target.output_file.front() != ' ');
    fuzz::check(target.output_file.back() != ' ' && target.output_file.back() != '\0');
    // the log names what is fetched, and the request line cannot break
    const run::Target first = run::first_target(command.tail);
    fuzz::check(fuzz::shown_as_fetched(first.url));
    fuzz::check(command.tail.ends_with(first.after_url));
    for (const char c : http::request_target(first.url.path)) {
        fuzz::check(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
    }
    return 0;
}
