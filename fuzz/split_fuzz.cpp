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

    const run::Target target = run::split_tail(command.tail);
    // the url is host and path put back together
    fuzz::check(target.url == (target.url.find('/') == std::string::npos
                                   ? target.host
                                   : target.host + "/" + target.path));
    fuzz::check(target.url.find(' ') == std::string::npos);
    // the output file is never empty and trimmed at both ends
    fuzz::check(!target.output_file.empty());
    fuzz::check(target.output_file.front() != ' ');
    fuzz::check(target.output_file.back() != ' ' && target.output_file.back() != '\0');
    return 0;
}
