#include "redirect/redirect.h"

#include <gtest/gtest.h>

#include <tuple>

namespace redirect {
namespace {

TEST(Redirect, PortCutOnceWhereverItStands) {
    EXPECT_EQ(cut_port("scheme://b.example:80/w"), "scheme://b.example/w");
    EXPECT_EQ(cut_port("scheme://b.example:800/w"), "scheme://b.example0/w");
    EXPECT_EQ(cut_port("/q?port=:80x"), "/q?port=x");
    EXPECT_EQ(cut_port("a:80:80"), "a:80");
    EXPECT_EQ(cut_port(":80"), "");
    EXPECT_EQ(cut_port("plain"), "plain");
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

TEST(Redirect, AbsoluteWhenHoldingSchemeSlashesAnywhereOrStartingWithTwoSlashes) {
    EXPECT_TRUE(is_absolute("scheme://b.example/w"));
    EXPECT_TRUE(is_absolute("/go?to=scheme://c.example/v"));
    EXPECT_TRUE(is_absolute("//c.example/v"));
    EXPECT_FALSE(is_absolute("/top/x.html"));
    EXPECT_FALSE(is_absolute("a//b"));
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
    EXPECT_EQ(state.target, "scheme://b.example/w");
    EXPECT_EQ(state.base, "a.example/dir/");
    EXPECT_EQ(next_url(state, "b.example/w"), "scheme://b.example/w");

    // the next relative redirect resolves against the hop that received it
    EXPECT_EQ(take_redirect(state, "next.html", "b.example/w", "out file"), "next.html out file");
    EXPECT_EQ(state.count, 2);
    EXPECT_EQ(state.base, "b.example/");
    EXPECT_EQ(next_url(state, "next.html"), "b.example/next.html");

    EXPECT_EQ(take_redirect(state, " my page.html ", "b.example/w", "keep.html"),
              "my%20page.html keep.html");
    EXPECT_EQ(take_redirect(state, ":80", "b.example/w", "keep.html"), " keep.html");
    EXPECT_EQ(state.target, "");
}

TEST(Redirect, ValueAndNotice) {
    EXPECT_EQ(location_value("Location: /x y"), "/x y");
    EXPECT_EQ(location_value("Location: "), "");
    EXPECT_EQ(format_notice(1, "scheme://b.example:80/w"),
              " 1. redirection, new start with: scheme://b.example:80/w");
}

}  // namespace
}  // namespace redirect
