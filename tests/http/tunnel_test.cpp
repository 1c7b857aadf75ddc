#include "http/tunnel.h"

#include <gtest/gtest.h>

#include <tuple>

namespace http {
namespace {

TEST(Tunnel, ConnectHeadNamesTheServerAsAnAuthority) {
    EXPECT_EQ(connect_head({"::1", 443, true, {}}, ""),
              "CONNECT [::1]:443 HTTP/1.0\r\nHost: [::1]:443\r\n");
    EXPECT_EQ(connect_head({"origin.test", 8443, false, {}}, "Basic YTpi"),
              "CONNECT origin.test:8443 HTTP/1.0\r\nHost: origin.test:8443\r\n"
              "Proxy-Authorization: Basic YTpi\r\n");
}

// Each answer fed whole and a byte at a time: the verdict, the reason of a refusal, and
// how many bytes were the answer's.
TEST(Tunnel, AnswersReadLineByLine) {
    using enum TunnelVerdict;
    const std::string endless = "HTTP/1.1 200 OK\r\n" + std::string(70'000, 'x');
    const std::tuple<std::string, TunnelVerdict, std::string, std::size_t> cases[] = {
        {"HTTP/1.0 200 Connection established\r\n\r\nTLS", open, "", 39},
        {"HTTP/1.1 200 OK\n\n", open, "", 17},
        {"HTTP/1.1 200 OK\r\nVia: 1.1 p\n\r\n", open, "", 30},
        {"HTTP/1.1 200\r\nX: \r\r\n\r\n", open, "", 22},
        {"HTTP/1.1 204 x\r\n\r", reading, "", 17},
        {"HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n<html>",
         refused, "HTTP/1.0 407 Proxy Authentication Required", 44},
        {"HTTP/2 200\r\n\r\n", refused, "HTTP/2 200", 12},
        {"HTTP/1.1 2xx OK\r\n\r\n", refused, "HTTP/1.1 2xx OK", 17},
        {"HTTP/1.1 2000 OK\n\n", refused, "HTTP/1.1 2000 OK", 17},
        {"HTTP/1.1 20\n\n", refused, "HTTP/1.1 20", 12},
        {"XHTTP/1.1 200 OK\n\n", refused, "XHTTP/1.1 200 OK", 17},
        {"http/1.1 200 OK\n\n", refused, "http/1.1 200 OK", 16},
        {"\r\n\r\n", refused, "the proxy's answer has no status line", 2},
        {endless, refused, "the proxy's answer has no end", k_max_connect_answer + 1},
    };
    for (const auto& [bytes, verdict, reason, used] : cases) {
        ConnectAnswer whole;
        EXPECT_EQ(whole.feed(bytes), used) << bytes.substr(0, 40);
        EXPECT_EQ(whole.verdict(), verdict) << bytes.substr(0, 40);
        EXPECT_EQ(whole.reason(), reason) << bytes.substr(0, 40);
        ConnectAnswer bytewise;
        std::size_t taken = 0;
        for (const char c : bytes) taken += bytewise.feed({&c, 1});
        EXPECT_EQ(taken, used) << bytes.substr(0, 40);
        EXPECT_EQ(bytewise.verdict(), verdict) << bytes.substr(0, 40);
    }
}

}  // namespace
}  // namespace http
