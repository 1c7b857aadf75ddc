#include "http/connection.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "harness/network.h"
#include "harness/script_server.h"

namespace http {
namespace {

std::uint32_t dotted(const char* text) { return ::inet_addr(text); }

TEST(Connection, AddressNumberReadsTheOctetsLittleEndianAndSigned) {
    EXPECT_EQ(address_number(dotted("1.2.0.0")), 513);
    EXPECT_EQ(address_number(dotted("127.0.0.1")), 16777343);
    EXPECT_EQ(address_number(dotted("10.0.0.128")),
              -2147483638);  // last octet 128 or more: negative
    EXPECT_EQ(address_number(0), 0);
}

TEST(Connection, DottedAddressesNeedNoLookupAndBadNamesResolveToZero) {
    EXPECT_EQ(resolve_host("10.0.0.1"), dotted("10.0.0.1"));
    EXPECT_EQ(resolve_host("no-such-host.invalid"), 0u);
    EXPECT_EQ(resolve_host("127.0.0.1:81"), 0u);  // a port is part of the name
    EXPECT_EQ(resolve_host(std::string("127.0.0.1\0.x", 12)), 0u);
    EXPECT_EQ(resolve_host("localhost"), dotted("127.0.0.1"));
}

TEST(Connection, RefusedConnectReportsErrnoAndClosesTheSocket) {
    REQUIRE_PRIVATE_NETWORK();  // nothing listens on port 80 there
    support::Fd socket;
    const auto failure = connect_to(dotted("127.0.0.9"), 80, socket);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->what, support::Problem::connect);
    EXPECT_EQ(failure->err, ECONNREFUSED);
    EXPECT_FALSE(socket);
}

TEST(Connection, ConnectsToAListeningPeer) {
    const harness::ScriptServer server("127.0.0.1", {{}}, 0);
    ASSERT_TRUE(server.listening());
    support::Fd socket;
    EXPECT_FALSE(connect_to(dotted("127.0.0.1"), server.port(), socket));
    EXPECT_TRUE(socket);
}

}  // namespace
}  // namespace http
