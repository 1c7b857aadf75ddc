#include "redirect/redirect.h"

#include <gtest/gtest.h>

#include <tuple>

namespace redirect {
namespace {

TEST(Redirect, LocationValueTable) {
    struct Case {
        const char* value;
        bool absolute;
        const char* cut;
    };
    const Case cases[] = {
        {"scheme://b.example:80/w", true, "scheme://b.example/w"},
        {"scheme://b.example:80", true, "scheme://b.example"},
        {"//b.example:80/w", true, "//b.example/w"},
        {"a+b-c.d://b.example:80/w", true, "a+b-c.d://b.example/w"},
        {"scheme://b.example:800/w", true, "scheme://b.example:800/w"},
        {"scheme://b.example:8080/w", true, "scheme://b.example:8080/w"},
        {"scheme://b.example/x:80", true, "scheme://b.example/x:80"},
        {"scheme://b.example:80?q", true, "scheme://b.example:80?q"},
        {"/go?to=scheme://c.example:80/v", false, "/go?to=scheme://c.example:80/v"},
        {"/q?port=:80x", false, "/q?port=:80x"},
        {"h:8080", false, "h:8080"},
        {":80", false, ":80"},
        {"1a://b.example/w", false, "1a://b.example/w"},
        {"/top/x.html", false, "/top/x.html"},
        {"a//b", false, "a//b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_absolute(c.value), c.absolute) << c.value;
        EXPECT_EQ(cut_port(c.value), c.cut) << c.value;
    }
}

TEST(Redirect, BlanksDroppedAtTheEndsAndEscapedInside) {
    EXPECT_EQ(escape_blanks("  /my page.html  "), "/my%20page.html");
    EXPECT_EQ(escape_blanks("a  b"), "a%20%20b");
    EXPECT_EQ(escape_blanks("   "), "");
    EXPECT_EQ(escape_blanks("a\tb"), "a\tb");
}

TEST(Redirect, BaseDirectoryEndsAtTheLastSlashFromPositionTwo) {
    EXPECT_EQ(base_directory("a.example/dir/page.html"), "a.example/dir/");
    EXPECT_EQ(base_directory("a.example/"), "a.example/");
    EXPECT_EQ(base_directory("a.example"), "a.example");
    EXPECT_EQ(base_directory("/x"), "/x");
}

TEST(Redirect, RelativeResolutionTable) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"a.example/dir/", "next.html", "a.example/dir/next.html"},
        {"a.example/dir/", "/top/x.html", "a.example/top/x.html"},
        {"a.example/dir/", "sub/y.html", "a.example/dir/sub/y.html"},
        {"a.example/dir/", "../z.html", "a.example/dir/../z.html"},
        {"a.example", "next.html", "a.example/next.html"},
        {"a.example", "/top/x.html", "a.example/top/x.html"},
        {"a.example/dir", "/top", "a.example/top"},
    };
    for (const auto& [base, url, resolved] : cases) {
        EXPECT_EQ(resolve_relative(base, url), resolved) << base << " + " << url;
    }
}

TEST(Redirect, TakingARedirectBuildsTheTailAndRecordsTheTarget) {
    RedirectState state;
    EXPECT_EQ(
        take_redirect(state, "scheme://b.example:80/w", "a.example/dir/page.html", "pageglean.out"),
        "scheme://b.example/w pageglean.out");
    EXPECT_EQ(state.count, 1);
    EXPECT_EQ(state.last_value, "scheme://b.example/w");
    EXPECT_EQ(state.base, "a.example/dir/");
    EXPECT_EQ(next_url(state, "b.example/w"), "scheme://b.example/w");

    // the next relative redirect resolves against the hop that received it
    EXPECT_EQ(take_redirect(state, "next.html", "b.example/w", "out file"), "next.html out file");
    EXPECT_EQ(state.count, 2);
    EXPECT_EQ(state.base, "b.example/");
    EXPECT_EQ(next_url(state, "next.html"), "b.example/next.html");

    EXPECT_EQ(take_redirect(state, " my page.html ", "b.example/w", "keep.html"),
              "my%20page.html keep.html");
    EXPECT_EQ(take_redirect(state, "", "b.example/w", "keep.html"), " keep.html");
    EXPECT_EQ(state.last_value, "");
}

TEST(Redirect, ValueAndNotice) {
    EXPECT_EQ(format_notice(1, "scheme://b.example:80/w"),
              " 1. redirection, new start with: scheme://b.example:80/w");
}

}  // namespace
}  // namespace redirect
