#include "run/command_line.h"

#include <gtest/gtest.h>

#include <tuple>

namespace run {
namespace {

TEST(CommandLine, SplitOfTheTail) {
    // tail, url, host, path, output file
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"scheme://a.example/b.html", "a.example/b.html", "a.example", "b.html", "pageglean.out"},
        {"a.example", "a.example", "a.example", "", "pageglean.out"},
        {"scheme://a.example:81/p?q=1", "a.example:81/p?q=1", "a.example:81", "p?q=1",
         "pageglean.out"},
        // the scheme is cut only when no "/" stands before the "//"
        {"a.example/a//b", "a.example/a//b", "a.example", "a//b", "pageglean.out"},
        {"//a.example/x", "a.example/x", "a.example", "x", "pageglean.out"},
        {"scheme:///x", "/x", "", "x", "pageglean.out"},
        {"scheme:///", "/", "", "", "pageglean.out"},
        {"a.example/x y", "a.example/x", "a.example", "x", "y"},  // a blank next to last
        {"a.example/x  my page.html", "a.example/x", "a.example", "x", "my page.html"},
        {"a.example/x ", "a.example/x", "a.example", "x", "pageglean.out"},
        {"a.example/x    ", "a.example/x", "a.example", "x", "pageglean.out"},
        {" a.example/x out", "", "", "", "a.example/x out"},
        {"", "", "", "", "pageglean.out"},
    };
    for (const auto& [tail, url, host, path, output] : cases) {
        const Split target = split_tail(tail);
        EXPECT_EQ(target.url, url) << '"' << tail << '"';
        EXPECT_EQ(target.host, host) << '"' << tail << '"';
        EXPECT_EQ(target.path, path) << '"' << tail << '"';
        EXPECT_EQ(target.output_file, output) << '"' << tail << '"';
    }
}

// A method prefix in any case, then the quiet switch; each only with its blank.
TEST(CommandLine, PrefixesAndTheQuietSwitch) {
    using http::Method;
    const std::tuple<const char*, Method, Mode, const char*> cases[] = {
        {"-HEAD a.example", Method::head, Mode::loud, "a.example"},
        {"-head", Method::get, Mode::loud, "-head"},
        {"-header a", Method::get, Mode::loud, "-header a"},
        {"-Get a out", Method::get, Mode::loud, "a out"},
        {"-head -get a", Method::head, Mode::loud, "-get a"},
        {"-head -q a", Method::head, Mode::quiet, "a"},
        {"-q -head a", Method::get, Mode::quiet, "-head a"},
        {"-q  a", Method::get, Mode::quiet, " a"},
        {"-Q a", Method::get, Mode::loud, "-Q a"},
        {"-q", Method::get, Mode::loud, "-q"},
        {"a -q ", Method::get, Mode::loud, "a -q "},
    };
    for (const auto& [text, method, mode, tail] : cases) {
        const CommandLine command = parse_command_line(text);
        EXPECT_EQ(command.method, method) << text;
        EXPECT_EQ(command.mode, mode) << text;
        EXPECT_EQ(command.tail, tail) << text;
        EXPECT_EQ(command.argument_text, text);
    }
}

}  // namespace
}  // namespace run
