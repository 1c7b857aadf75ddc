// The way to a server: where a URL leads, the route planned to it, and the addresses of a
// host as the connection reads and logs them.

#include "http/connection.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstring>
#include <string>
#include <tuple>

#include "http/route.h"

namespace http {
namespace {

// Where an authority leads: its port as written, the scheme's otherwise; none for anything
// that no request line could carry.
TEST(Endpoint, AuthoritiesAndWhatARequestSends) {
    const std::tuple<const char*, const char*, const char*, int> cases[] = {
        {"", "h", "h", 80},
        {"https://", "h", "h", 443},
        {"", "h:8080", "h", 8080},
        {"", "h:65535", "h", 65535},
        {"", "[::1]:8443", "::1", 8443},
        {"https://", "[::1]", "::1", 443},
        {"", "h:0", "", 0},
        {"", "h:65536", "", 0},
        {"", "h:", "", 0},
        {"", "h:8x", "", 0},
        {"", ":80", "", 0},
        {"", "[::1", "", 0},
        {"", "[::1]x", "", 0},
        {"", "h\tx", "", 0},
        {"", "h\x7f", "", 0},
        {"", "[::1]:", "", 0},  // an empty port after brackets as after a name
        {"", "[fe80::1%25lo]:8080", "fe80::1", 8080},
        {"", "[fe80::1%25eth0.7]", "fe80::1", 80},
        {"", "[fe80::1%lo]", "", 0},
        {"", "[fe80::1%25]", "", 0},
        {"", "[fe80::1%25l/o]", "", 0},
    };
    for (const auto& [scheme, authority, host, port] : cases) {
        const auto endpoint = endpoint_of(support::make_url(scheme, authority));
        EXPECT_EQ(endpoint ? endpoint->host : "", host) << authority;
        EXPECT_EQ(endpoint ? endpoint->port : 0, port) << authority;
    }
    EXPECT_EQ(endpoint_of(support::make_url("", "[fe80::1%252]"))->zone, "2");
    // a zone means nothing beyond this machine: never sent
    EXPECT_EQ(authority_sent(support::make_url("", "[fe80::1%25lo]:8080")), "[fe80::1]:8080");
    EXPECT_EQ(authority_sent(support::make_url("", "h%25x:1")), "h%25x:1");
    EXPECT_EQ(request_target("?q"), "/?q");
    EXPECT_EQ(request_target("/a b\r\n\x7f"), "/a%20b%0D%0A%7F");
}

// A route in one line: the peer, "proxy" and "tunnel" when so, "tls" when so, and the
// server; a failure as its kind and name.
std::string described(const std::variant<Route, support::Failure>& planned) {
    if (const auto* failure = std::get_if<support::Failure>(&planned)) {
        return (failure->what == support::Problem::resolve ? "resolve " : "refused ") +
               failure->name;
    }
    const Route& route = std::get<Route>(planned);
    const auto at = [](const Endpoint& endpoint) {
        return endpoint.host + ":" + std::to_string(endpoint.port);
    };
    return at(route.peer) + (route.proxy ? " proxy" : "") + (route.tunnel() ? " tunnel" : "") +
           (route.tls ? " tls" : "") + " -> " + at(route.server);
}

// Each scheme takes its own proxy setting; no_proxy bypasses it; a server that is no
// endpoint fails before a proxy is looked at, and a proxy's failure names it without its
// userinfo.
TEST(Route, PlannedFromTheUrlAndTheProxySettings) {
    const std::tuple<const char*, const char*, Proxies, const char*> cases[] = {
        {"", "o/x", {}, "o:80 -> o:80"},
        {"https://", "o", {}, "o:443 tls -> o:443"},
        {"", "o:81/x", {"p:3128", "q", ""}, "p:3128 proxy -> o:81"},
        {"https://", "o", {"q", "alice:pw@p", ""}, "p:80 proxy tunnel tls -> o:443"},
        {"https://", "o", {"p:3128", "", ""}, "o:443 tls -> o:443"},
        {"", "o", {"", "p:3128", ""}, "o:80 -> o:80"},
        {"", "a.o", {"p", "", "x, .o"}, "a.o:80 -> a.o:80"},
        {"https://", "[::1]:8443", {"", "p", "[::1]:8443"}, "::1:8443 tls -> ::1:8443"},
        {"", "o:0", {"socks5://p", "", ""}, "resolve o:0"},
        {"", "o", {"socks5://p", "", ""}, "refused unsupported proxy scheme 'socks5'"},
        {"", "o", {"alice:pw@p:0", "", ""}, "resolve p:0"},
    };
    for (const auto& [scheme, rest, proxies, route] : cases) {
        EXPECT_EQ(described(plan_route(support::make_url(scheme, rest), proxies)), route)
            << scheme << rest;
    }
}

Address ipv4(const char* dotted) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    EXPECT_EQ(::inet_pton(AF_INET, dotted, &peer.sin_addr), 1);
    Address address;
    std::memcpy(&address.storage, &peer, sizeof peer);
    address.length = sizeof peer;
    return address;
}

// The IP line reads an IPv4 address's bytes as a little-endian signed number: a last byte
// of 128 or more makes it negative.
TEST(Connection, AddressesAsTheLogShowsThem) {
    EXPECT_EQ(address_shown(ipv4("1.2.0.0")), " 513");
    EXPECT_EQ(address_shown(ipv4("127.0.0.1")), " 16777343");
    EXPECT_EQ(address_shown(ipv4("10.0.0.200")), "-939524086");
    EXPECT_EQ(address_shown(ipv4("255.255.255.255")), "-1");
    const auto v6 = resolve(Endpoint{"::1", 80, true, ""});
    ASSERT_EQ(v6.size(), 1u);
    EXPECT_EQ(address_shown(v6[0]), " ::1");
}

// Only four decimal bytes are an IPv4 address; the forms a lenient reader would take as
// one are neither an address nor a name to look up.
TEST(Connection, AddressesAreReadStrictly) {
    const auto dotted = resolve(Endpoint{"127.0.0.2", 8080, false, ""});
    ASSERT_EQ(dotted.size(), 1u);
    EXPECT_EQ(address_shown(dotted[0]), " 33554559");
    EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in&>(dotted[0].storage).sin_port), 8080);
    for (const char* loose :
         {"127.1", "0x7f.1", "0x7f000001", "2130706433", "0177.0.0.1", "127.0.0.1.", "1.2.3.4.5"}) {
        EXPECT_TRUE(resolve(Endpoint{loose, 80, false, ""}).empty()) << loose;
    }
    // a zone is the scope of the connect: by name or number, and none for no interface
    const auto zoned = resolve(Endpoint{"fe80::1", 80, true, "lo"});
    ASSERT_EQ(zoned.size(), 1u);
    EXPECT_NE(reinterpret_cast<const sockaddr_in6&>(zoned[0].storage).sin6_scope_id, 0u);
    EXPECT_TRUE(resolve(Endpoint{"fe80::1", 80, true, "no-such-interface"}).empty());
    EXPECT_TRUE(resolve(Endpoint{"fe80::1", 80, true, "4294967297"}).empty());  // not 1 by wrapping
}

}  // namespace
}  // namespace http
