#include "http/length_check.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace http {
namespace {

const std::string k_ok = "HTTP/1.1 200 OK\r\n";
const std::string k_length = k_ok + "Content-Length:";
const std::string k_padding(1500, ' ');

// Each response is fed in pieces of 1, of 3 and whole: the check must not depend on where
// the receives cut the header, its end mark or a value.
TEST(LengthCheck, ShortfallHoweverTheResponseIsCut) {
    // response, method, why it is short: "<arrived> of <announced>" when its body is, ""
    // when it is whole
    const std::tuple<std::string, Method, std::string> cases[] = {
        {"", Method::get, "the server closed without a response"},
        {"", Method::head, "the server closed without a response"},
        {k_length + " 10\r\n\r\n12345", Method::get, "5 of 10"},
        {k_length + " 5\r\n\r\n123456", Method::get, ""},
        {k_length + " 10\r\n\r\n12345", Method::head, ""},
        // the name in any case, and only that name
        {k_ok + "content-length: 10\r\n\r\n", Method::get, "0 of 10"},
        {k_ok + "CONTENT-LENGTH:10\r\n\r\n", Method::get, "0 of 10"},
        {k_ok + "X-Content-Length: 10\r\n\r\n", Method::get, ""},
        // up to 19 digits read exactly, leading zeros not counted; past 2^63-1 no length
        {k_length + " 999999999999999999\r\n\r\nab", Method::get, "2 of 999999999999999999"},
        {k_length + " 9223372036854775807\r\n\r\n", Method::get, "0 of 9223372036854775807"},
        {k_length + " 0000000000000000005\r\n\r\n1", Method::get, "1 of 5"},
        {k_length + " 0000000000000000000000002000\r\n\r\n", Method::get, "0 of 2000"},
        {k_length + " 9223372036854775808\r\n\r\n", Method::get, ""},
        {k_length + " 10000000000000000000\r\n\r\n", Method::get, ""},
        // blanks around the value however many; anything else in it spoils it
        {k_length + k_padding + "\t7" + k_padding + "\r\n\r\n", Method::get, "0 of 7"},
        {k_length + " 7 7\r\n\r\n", Method::get, ""},
        {k_length + " \r\n\r\n", Method::get, ""},
        // two equal values count as one, two different ones as none
        {k_length + " 7\r\ncontent-length: 007\r\n\r\n", Method::get, "0 of 7"},
        {k_length + " 7\r\nContent-Length: 8\r\n\r\n", Method::get, ""},
        // the header ends only at CR LF CR LF; a lone CR before it changes nothing
        {k_length + " 4\r\n\r\r\n\r\nab", Method::get, "2 of 4"},
        {"HTTP/1.1 200 OK\nContent-Length: 4\n\nab", Method::get, ""},
        // no body for 1xx, 204 and 304; nothing is judged without a status line
        {"HTTP/1.1 100 Continue\r\nContent-Length: 4\r\n\r\n", Method::get, ""},
        {"HTTP/1.1 204 No Content\r\nContent-Length: 4\r\n\r\n", Method::get, ""},
        {"HTTP/1.1 304 Not Modified\r\nContent-Length: 4\r\n\r\n", Method::get, ""},
        {"HTTP/1.1 205 Reset\r\nContent-Length: 4\r\n\r\n", Method::get, "0 of 4"},
        {"Content-Length: 4\r\n\r\n", Method::get, ""},
        {"HTTP/1.1\r\nContent-Length: 4\r\n\r\n", Method::get, ""},
        {"XHTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n", Method::get, ""},
    };
    for (const auto& [response, method, why] : cases) {
        const std::string words =
            why.find(" of ") == std::string::npos ? why : why + " announced body bytes arrived";
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, response.size() + 1}) {
            LengthCheck check;
            for (std::size_t at = 0; at < response.size(); at += piece) {
                check.feed(std::string_view(response).substr(at, piece));
            }
            EXPECT_EQ(check.shortfall(method).value_or(""), words)
                << '"' << response.substr(0, 80) << "\" in pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace http
