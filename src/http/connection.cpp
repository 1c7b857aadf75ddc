#include "http/connection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace http {

std::uint32_t resolve_host(const std::string& host) {
    // c_str would end the name at a zero byte and look up a different host
    if (host.find('\0') != std::string::npos) return 0;
    const in_addr_t dotted = ::inet_addr(host.c_str());
    if (dotted != INADDR_NONE) return dotted;

    addrinfo hints{};
    hints.ai_family = AF_INET;  // no AI_ADDRCONFIG: with only loopback up, localhost still resolves
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return 0;
    std::uint32_t address = 0;
    if (found->ai_addr != nullptr && found->ai_addr->sa_family == AF_INET) {
        sockaddr_in peer{};
        std::memcpy(&peer, found->ai_addr, sizeof peer);
        address = peer.sin_addr.s_addr;
    }
    ::freeaddrinfo(found);
    return address;
}

std::int32_t address_number(std::uint32_t address) {
    unsigned char octets[4];
    std::memcpy(octets, &address, sizeof octets);
    const std::uint32_t little =
        static_cast<std::uint32_t>(octets[0]) | static_cast<std::uint32_t>(octets[1]) << 8 |
        static_cast<std::uint32_t>(octets[2]) << 16 | static_cast<std::uint32_t>(octets[3]) << 24;
    return static_cast<std::int32_t>(little);
}

std::optional<support::Failure> connect_to(std::uint32_t address, std::uint16_t port,
                                           support::Fd& socket) {
    socket = support::Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket) return support::Failure{support::Problem::socket, errno, {}};

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        const int err = errno;
        socket.reset();
        return support::Failure{support::Problem::connect, err, {}};
    }
    return std::nullopt;
}

}  // namespace http
