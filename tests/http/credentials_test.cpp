#include "http/credentials.h"

#include <gtest/gtest.h>

#include <tuple>

namespace http {
namespace {

using namespace std::string_literals;

TEST(Credentials, Base64OfEveryPaddingAndBothLastLetters) {
    EXPECT_EQ(base64(""), "");
    EXPECT_EQ(base64("a"), "YQ==");
    EXPECT_EQ(base64("ab"), "YWI=");
    EXPECT_EQ(base64("\xfb\xff\xbf\0"s), "+/+/AA==");
}

// The userinfo ends at the host part's last "@", the user at its first ":"; both decoded.
TEST(Credentials, BasicValuesOfUrls) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"alice:s3%2Fcret@h/x", "h", "alice:s3/cret"},
        // only "%" and two hex digits, in either case, stand for a byte
        {"a%41%62:%2f%%2%zz%4@h", "h", "aAb:/%%2%zz%4"},
        {"alice:p@ss@h/x@y", "h", "alice:p@ss"},
        {"a:b:c@h:8080", "h:8080", "a:b:c"},
        {"alice@h", "h", "alice:"},
        {":pw@h", "h", ":pw"},
        {"@h", "h", ""},
        {":@h", "h", ""},
        {"h/a@b", "h", ""},
    };
    for (const auto& [rest, authority, plain] : cases) {
        const support::Url url = support::make_url("http://", rest);
        EXPECT_EQ(url.authority, authority) << rest;
        const auto value = basic_authorization(url);
        EXPECT_EQ(value.value_or(""), *plain ? "Basic " + base64(plain) : "") << rest;
    }
}

// Credentials go to their scheme, host and port only.
TEST(Credentials, SentToTheirOriginAlone) {
    const auto credentials = credentials_of(support::make_url("http://", "alice:pw@h/a"));
    const auto tls = credentials_of(support::make_url("https://", "alice:pw@h/a"));
    const std::tuple<const std::optional<Credentials>&, const char*, const char*, bool> cases[] = {
        {credentials, "", "h/b", true},
        {credentials, "HTTP://", "H:80/b", true},
        {credentials, "http://", "h:8080/", false},
        {credentials, "https://", "h/", false},
        {credentials, "http://", "other/", false},
        {tls, "https://", "h:443/", true},
        {tls, "http://", "h:443/", false},
    };
    for (const auto& [given, scheme, rest, sent] : cases) {
        EXPECT_EQ(authorization_for(given, support::make_url(scheme, rest)),
                  sent ? "Basic " + base64("alice:pw") : "")
            << scheme << rest;
    }
}

TEST(Credentials, MaskedInTheLog) {
    EXPECT_EQ(masked_head("GET / HTTP/1.0\r\nHost: h\r\nAuthorization: Basic YTpi\r\n"
                          "Proxy-Authorization: Basic YTpi\r\nX-Authorization: Basic x\r\n"),
              "GET / HTTP/1.0\r\nHost: h\r\nAuthorization: Basic ****\r\n"
              "Proxy-Authorization: Basic ****\r\nX-Authorization: Basic x\r\n");
}

}  // namespace
}  // namespace http
