#include "redirect/redirect.h"

#include <gtest/gtest.h>

#include <tuple>

namespace redirect {
namespace {

// Absolute only with a leading scheme or "//"; the port cut only where it ends the host.
TEST(Redirect, AbsoluteValuesAndThePortCut) {
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"scheme://b.example:80/w", true, "scheme://b.example/w"},
        {"//b.example:80", true, "//b.example"},
        {"a+b-c.d://b.example:80/w", true, "a+b-c.d://b.example/w"},
        {"scheme://b.example:800/w", true, "scheme://b.example:800/w"},
        {"scheme://b.example:8080/w", true, "scheme://b.example:8080/w"},
        {"scheme://b.example/x:80", true, "scheme://b.example/x:80"},
        {"scheme://b.example:80?q", true, "scheme://b.example:80?q"},
        {"http://b.example:443/w", true, "http://b.example:443/w"},  // 443 is https's alone
        {"/go?to=scheme://c.example:80/v", false, "/go?to=scheme://c.example:80/v"},
        {"/q?port=:80x", false, "/q?port=:80x"},
        {"h:8080", false, "h:8080"},
        {"1a://b.example/w", false, "1a://b.example/w"},
        {"a//b", false, "a//b"},
    };
    for (const auto& [value, absolute, cut] : cases) {
        EXPECT_EQ(is_absolute(value), absolute) << value;
        EXPECT_EQ(cut_port(value), cut) << value;
    }
    // ":443" is cut from an https host, or from a "//" value on a TLS hop
    EXPECT_EQ(cut_port("HTTPS://b.example:443/w"), "HTTPS://b.example/w");
    EXPECT_EQ(cut_port("//b.example:443/w", true), "//b.example/w");
    EXPECT_EQ(cut_port("//b.example:443/w", false), "//b.example:443/w");
}

// References resolved against the hop that received them: RFC 3986 section 5.4's examples
// that apply to http, then the values that went wrong when the base was a text.
TEST(Redirect, ReferencesResolveAgainstTheirHop) {
    const support::Url base = support::make_url("http://", "a/b/c/d;p?q");
    const std::pair<const char*, const char*> rfc[] = {
        {"g", "a/b/c/g"},
        {"./g", "a/b/c/g"},
        {"g/", "a/b/c/g/"},
        {"/g", "a/g"},
        {"//g", "g"},
        {"?y", "a/b/c/d;p?y"},
        {"g?y", "a/b/c/g?y"},
        {"#s", "a/b/c/d;p?q#s"},
        {"g#s", "a/b/c/g#s"},
        {"g?y#s", "a/b/c/g?y#s"},
        {";x", "a/b/c/;x"},
        {"g;x?y#s", "a/b/c/g;x?y#s"},
        {".", "a/b/c/"},
        {"./", "a/b/c/"},
        {"..", "a/b/"},
        {"../", "a/b/"},
        {"../g", "a/b/g"},
        {"../..", "a/"},
        {"../../g", "a/g"},
        {"../../../g", "a/g"},
        {"../../../../g", "a/g"},
        {"/./g", "a/g"},
        {"/../g", "a/g"},
        {"g.", "a/b/c/g."},
        {".g", "a/b/c/.g"},
        {"g..", "a/b/c/g.."},
        {"..g", "a/b/c/..g"},
        {"./../g", "a/b/g"},
        {"./g/.", "a/b/c/g/"},
        {"g/./h", "a/b/c/g/h"},
        {"g/../h", "a/b/c/h"},
        {"g;x=1/./y", "a/b/c/g;x=1/y"},
        {"g;x=1/../y", "a/b/c/y"},
        {"g?y/./x", "a/b/c/g?y/./x"},
        {"g#s/../x", "a/b/c/g#s/../x"},
        // only a leading scheme with "://" makes a value absolute
        {"http:g", "a/b/c/http:g"},
        {"scheme://b/x/../y?q#f", "b/y?q#f"},
        // an absolute value's query keeps its dot segments, as a relative one's does
        {"scheme://b/x/./../y?q=/./a/../b", "b/y?q=/./a/../b"},
        {"//b/..?..", "b/?.."},
    };
    for (const auto& [value, resolved] : rfc) {
        const support::Url url = resolve(value, base);
        EXPECT_EQ(url.authority + url.path + url.fragment, resolved) << value;
    }
    const support::Url query_base = support::make_url("", "h/redirect-to?url=x&from=a/b");
    EXPECT_EQ(resolve("robots.txt", query_base).path, "/robots.txt");
    EXPECT_EQ(resolve("a//b", support::make_url("", "h/dir/p")).path, "/dir/a//b");
    EXPECT_EQ(resolve("go?to=http://c/v", support::make_url("", "h/dir/p")).path,
              "/dir/go?to=http://c/v");
    EXPECT_EQ(resolve("x", support::make_url("", "h")).path, "/x");
}

// The scheme a value without one takes, and the text the logs show for it.
TEST(Redirect, ValuesWithoutASchemeKeepTheirHops) {
    const std::tuple<bool, const char*, const char*, bool> cases[] = {
        {false, "two", "h:8080/d/two", false},     {true, "two", "https://h:8080/d/two", true},
        {false, "//g:81/p", "//g:81/p", false},    {true, "//g/p", "https://g/p", true},
        {true, "HTTP://g/p", "HTTP://g/p", false},
    };
    for (const auto& [tls, value, shown, secure] : cases) {
        support::Url hop = support::make_url(tls ? "https://" : "", "h:8080/d/one");
        const support::Url url = resolve(value, hop);
        EXPECT_EQ(support::url_text(url), shown) << value;
        EXPECT_EQ(url.tls, secure) << value;
    }
    RedirectState state;
    const support::Url hop = support::make_url("https://", "h/x");
    EXPECT_EQ(support::url_text(*take_redirect(state, " //g:443/a b ", hop)), "https://g/a%20b");
    EXPECT_EQ(state.last_value, "//g/a%20b");
    EXPECT_FALSE(take_redirect(state, "   ", hop));
    EXPECT_EQ(state.count, 2);
}

}  // namespace
}  // namespace redirect
