#include "run/command_line.h"

#include <gtest/gtest.h>

namespace run {
namespace {

struct SplitCase {
    const char* tail;
    const char* url;
    const char* host;
    const char* path;
    const char* output;
};

TEST(CommandLine, SplitTable) {
    const SplitCase cases[] = {
        {"scheme://a.example/b.html", "a.example/b.html", "a.example", "b.html", "pageglean.out"},
        {"a.example/dir/b.html", "a.example/dir/b.html", "a.example", "dir/b.html",
         "pageglean.out"},
        {"a.example", "a.example", "a.example", "", "pageglean.out"},
        {"scheme://a.example/", "a.example/", "a.example", "", "pageglean.out"},
        {"scheme://a.b/c/d", "a.b/c/d", "a.b", "c/d", "pageglean.out"},
        {"scheme://a.example:81/x", "a.example:81/x", "a.example:81", "x", "pageglean.out"},
        {"scheme://a.example/p?q=1&r=2", "a.example/p?q=1&r=2", "a.example", "p?q=1&r=2",
         "pageglean.out"},
        // the scheme cut only when no "/" stands before the "//"
        {"a.example/a//b", "a.example/a//b", "a.example", "a//b", "pageglean.out"},
        {"//a.example/x", "a.example/x", "a.example", "x", "pageglean.out"},
        {"scheme://a.example/a//b", "a.example/a//b", "a.example", "a//b", "pageglean.out"},
        {"scheme:///x", "/x", "", "x", "pageglean.out"},
        {"scheme:///", "/", "", "", "pageglean.out"},
        {"scheme://", "", "", "", "pageglean.out"},
        {"a.example/x out.html", "a.example/x", "a.example", "x", "out.html"},
        {"a.example/x y", "a.example/x", "a.example", "x", "y"},  // the blank next to last
        {"a.example/x  out.html", "a.example/x", "a.example", "x", "out.html"},
        {"a.example/x my page.html", "a.example/x", "a.example", "x", "my page.html"},
        {"a b c", "a", "a", "", "b c"},
        {"a.example/x ", "a.example/x", "a.example", "x", "pageglean.out"},
        {"a.example/x    ", "a.example/x", "a.example", "x", "pageglean.out"},  // empty name
        {" a.example/x out", "", "", "", "a.example/x out"},
        {"", "", "", "", "pageglean.out"},
        {"a.example/\t", "a.example/\t", "a.example", "\t", "pageglean.out"},
    };
    for (const SplitCase& c : cases) {
        const Target target = split_tail(c.tail);
        EXPECT_EQ(target.url, c.url) << '"' << c.tail << '"';
        EXPECT_EQ(target.host, c.host) << '"' << c.tail << '"';
        EXPECT_EQ(target.path, c.path) << '"' << c.tail << '"';
        EXPECT_EQ(target.output_file, c.output) << '"' << c.tail << '"';
    }
}

TEST(CommandLine, ArgumentsJoinWithSingleBlanks) {
    EXPECT_EQ(join_arguments({}), "");
    const std::vector<std::string> words{"-q", "", "x y"};
    EXPECT_EQ(join_arguments(words), "-q  x y");
}

TEST(CommandLine, MethodPrefixesInAnyCaseAndOnlyWithTheirBlank) {
    CommandLine command = parse_command_line("-head scheme://a.example/b.html");
    EXPECT_EQ(command.method, http::Method::head);
    EXPECT_EQ(command.tail, "scheme://a.example/b.html");
    EXPECT_EQ(command.mode, Mode::loud);

    EXPECT_EQ(parse_command_line("-HEAD a.example").method, http::Method::head);
    EXPECT_EQ(parse_command_line("-HEAD a.example").tail, "a.example");

    command = parse_command_line("-head");
    EXPECT_EQ(command.method, http::Method::get);
    EXPECT_EQ(command.tail, "-head");

    command = parse_command_line("-Get a.example out");
    EXPECT_EQ(command.method, http::Method::get);
    EXPECT_EQ(command.tail, "a.example out");

    command = parse_command_line("-head -get a.example");  // one prefix only
    EXPECT_EQ(command.method, http::Method::head);
    EXPECT_EQ(command.tail, "-get a.example");
}

TEST(CommandLine, QuietSwitchOnlyAtTheFrontOrRightAfterAPrefix) {
    CommandLine command = parse_command_line("-q a.example/x out.html");
    EXPECT_EQ(command.mode, Mode::quiet);
    EXPECT_EQ(command.tail, "a.example/x out.html");
    EXPECT_EQ(command.argument_text, "-q a.example/x out.html");

    command = parse_command_line("-head -q a.example");
    EXPECT_EQ(command.method, http::Method::head);
    EXPECT_EQ(command.mode, Mode::quiet);
    EXPECT_EQ(command.tail, "a.example");

    command = parse_command_line("-q -head a.example");  // the switch first: no prefix
    EXPECT_EQ(command.mode, Mode::quiet);
    EXPECT_EQ(command.method, http::Method::get);
    EXPECT_EQ(command.tail, "-head a.example");
    EXPECT_EQ(split_tail(command.tail).host, "-head");

    EXPECT_EQ(parse_command_line("-Q a.example").mode, Mode::loud);
    EXPECT_EQ(parse_command_line("-q").mode, Mode::loud);
    EXPECT_EQ(parse_command_line("a.example -q ").mode, Mode::loud);
    EXPECT_EQ(parse_command_line("-q  a.example").tail, " a.example");
}

}  // namespace
}  // namespace run
