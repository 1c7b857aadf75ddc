#pragma once

// Finding the host and connecting to it over IPv4 TCP.

#include <cstdint>
#include <optional>
#include <string>

#include "support/failure.h"
#include "support/fd.h"

namespace http {

// The host's IPv4 address in network byte order: a dotted address as inet_addr reads it,
// else the first address a name lookup gives. 0 when neither yields one (255.255.255.255
// goes to the lookup like a name; a host holding a zero byte resolves to nothing).
std::uint32_t resolve_host(const std::string& host);

// The address's four bytes read as a little-endian signed 32-bit number, first octet
// lowest, whatever the machine's byte order: 1.2.0.0 gives 513.
std::int32_t address_number(std::uint32_t address);

// A TCP socket connected to address:port in `socket`; a socket or connect failure
// otherwise, the socket closed.
[[nodiscard]] std::optional<support::Failure> connect_to(std::uint32_t address, std::uint16_t port,
                                                         support::Fd& socket);

}  // namespace http
