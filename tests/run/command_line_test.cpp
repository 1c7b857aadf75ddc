#include "run/command_line.h"

#include <gtest/gtest.h>

#include <tuple>

#include "run/report.h"

namespace run {
namespace {

// The command log of a typed tail: the URL as it is fetched, the rest of the tail as typed.
TEST(CommandLine, TheLogOfATypedTailNamesWhatIsFetched) {
    // tail, then the Command, URL, Host, Path and File lines
    const std::pair<const char*, const char*> cases[] = {
        {"scheme://a.ex/b.html o", "scheme://a.ex/b.html o|a.ex/b.html|a.ex|b.html|o"},
        {"a.example", "a.example|a.example|a.example||pageglean.out"},
        {"scheme://a.ex:81/p?q=1 o", "scheme://a.ex:81/p?q=1 o|a.ex:81/p?q=1|a.ex:81|p?q=1|o"},
        // a query or fragment right after the host is no part of it
        {"http://h?x=1 o", "http://h/?x=1 o|h/?x=1|h|?x=1|o"},
        {"h:81#f?/x o", "h:81/#f?/x o|h:81/#f?/x|h:81|#f?/x|o"},
        {"h?x/y o", "h/?x/y o|h/?x/y|h|?x/y|o"},
        {"http://?x", "http:///?x|/?x||?x|pageglean.out"},  // no host: the one then called missing
        // the scheme is cut only when no "/" stands before the "//"
        {"a.example/a//b o", "a.example/a//b o|a.example/a//b|a.example|a//b|o"},
        {"//a.example/x o", "//a.example/x o|a.example/x|a.example|x|o"},
        {"scheme:///x o", "scheme:///x o|/x||x|o"},
        {"scheme:/// o", "scheme:/// o|/|||o"},
        // the rest as typed: the output file from it, trimmed
        {"a.ex/x  my page.html", "a.ex/x  my page.html|a.ex/x|a.ex|x|my page.html"},
        {"a.example/x y", "a.example/x y|a.example/x|a.example|x|y"},  // a blank next to last
        {"a.example/x ", "a.example/x |a.example/x|a.example|x|pageglean.out"},
        {"a.example/x    ", "a.example/x    |a.example/x|a.example|x|pageglean.out"},
        {" a.example/x out", " a.example/x out||||a.example/x out"},
        {"", "||||pageglean.out"},
        // the user shows, a password never; the userinfo ends at the host part's last "@"
        {"http://alice:s3cret@h:8080/x o", "http://alice:****@h:8080/x o|alice:****@h:8080/x|alice:****@h:8080|x|o"},
        {"alice:@h?q", "alice:****@h/?q|alice:****@h/?q|alice:****@h|?q|pageglean.out"},
        {"a:b@c:d@h#f", "a:****@h/#f|a:****@h/#f|a:****@h|#f|pageglean.out"},
        {"bob@h/a:b@c o", "bob@h/a:b@c o|bob@h/a:b@c|bob@h|a:b@c|o"},
    };
    for (const auto& [tail, lines] : cases) {
        const std::vector<std::string> log = command_log_lines("", first_target(tail));
        std::string shown = log[1].substr(log[1].find(": ") + 2);
        for (std::size_t i = 2; i < 6; ++i) shown += "|" + log[i].substr(log[i].find(": ") + 2);
        EXPECT_EQ(shown, lines) << '"' << tail << '"';
    }
}

// The command log's own line: the arguments as typed, the first URL's password masked.
TEST(CommandLine, TheArgumentsNeverShowAPassword) {
    const std::pair<const char*, const char*> cases[] = {
        {"-head -q http://alice:s3cret@h/x o", "-head -q http://alice:****@h/x o"},
        {"//a:b:c@h o", "//a:****@h o"},
        {"-Get bob@h/x", "-Get bob@h/x"},
        {"h/a:b@c o", "h/a:b@c o"},
    };
    for (const auto& [text, shown] : cases) {
        const CommandLine command = parse_command_line(text);
        EXPECT_EQ(shown_arguments(command, first_target(command.tail)), shown) << text;
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
