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

TEST(Redirect, RelativeValuesJoinTheBaseFolder) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"a.example/dir/page.html", "next.html", "a.example/dir/next.html"},
        {"a.example/dir/page.html", "/top/x.html", "a.example/top/x.html"},
        {"a.example/dir/", "../z.html", "a.example/dir/../z.html"},
        {"a.example", "next.html", "a.example/next.html"},
        {"a.example", "/top/x.html", "a.example/top/x.html"},
        {"/x", "y", "/x/y"},
    };
    for (const auto& [url, value, resolved] : cases) {
        EXPECT_EQ(resolve_relative(base_directory(url), value), resolved) << url << " + " << value;
    }
}

}  // namespace
}  // namespace redirect
