#pragma once

// A private network namespace with only loopback up, entered once at the start of the test
// process: port 80 is free there, and no lookup or connection leaves the machine.

#include <string>

namespace harness {

// Enters the namespace; as a user who is not root, inside a new user namespace too.
// Must run before any thread starts.
void enter_private_network();

// Whether the namespace is in place; when not, why.
bool private_network();
const std::string& private_network_problem();

}  // namespace harness

// Ends a test that needs loopback port 80 when there is no private network.
#define REQUIRE_PRIVATE_NETWORK()                                                         \
    do {                                                                                  \
        if (!harness::private_network()) {                                                \
            GTEST_SKIP() << "no private network: " << harness::private_network_problem(); \
        }                                                                                 \
    } while (false)
