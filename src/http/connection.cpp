#include "http/connection.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "http/route.h"
#include "http/tunnel.h"
#include "support/console.h"
#include "support/text.h"

namespace http {

namespace {

Address address_of(const void* socket_address, socklen_t length) {
    Address address;
    std::memcpy(&address.storage, socket_address, length);
    address.length = length;
    return address;
}

// A host that is no dotted address but is meant as a number: digits and dots only, or a
// form the lookup itself would read as an IPv4 number (short, hexadecimal or octal parts).
bool is_loose_number(const std::string& host) {
    if (std::all_of(host.begin(), host.end(),
                    [](char c) { return c == '.' || (c >= '0' && c <= '9'); })) {
        return true;
    }
    in_addr number{};
    return ::inet_aton(host.c_str(), &number) != 0;
}

// The interface a zone names, by its number or its name; 0 when there is none such.
unsigned scope_of(const std::string& zone) {
    if (std::all_of(zone.begin(), zone.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return static_cast<unsigned>(support::decimal(zone, UINT32_MAX).value_or(0));
    }
    return ::if_nametoindex(zone.c_str());
}

}  // namespace

std::vector<Address> resolve(const Endpoint& endpoint) {
    const std::string& host = endpoint.host;
    if (endpoint.literal_v6) {
        sockaddr_in6 peer{};
        peer.sin6_family = AF_INET6;
        peer.sin6_port = htons(endpoint.port);
        if (::inet_pton(AF_INET6, host.c_str(), &peer.sin6_addr) != 1) return {};
        if (!endpoint.zone.empty()) {
            peer.sin6_scope_id = scope_of(endpoint.zone);
            if (peer.sin6_scope_id == 0) return {};
        }
        return {address_of(&peer, sizeof peer)};
    }
    sockaddr_in dotted{};
    dotted.sin_family = AF_INET;
    dotted.sin_port = htons(endpoint.port);
    if (::inet_pton(AF_INET, host.c_str(), &dotted.sin_addr) == 1) {
        return {address_of(&dotted, sizeof dotted)};
    }
    if (is_loose_number(host)) return {};

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // no AI_ADDRCONFIG: it drops a family whose only addresses here are loopback or
    // link-local ones, which a name for this machine needs; an address of a family that
    // cannot be reached fails at its connect at once, and the next is tried
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return {};
    std::vector<Address> addresses;
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        if (at->ai_family == AF_INET && at->ai_addrlen == sizeof(sockaddr_in)) {
            sockaddr_in peer{};
            std::memcpy(&peer, at->ai_addr, sizeof peer);
            peer.sin_port = htons(endpoint.port);
            addresses.push_back(address_of(&peer, sizeof peer));
        } else if (at->ai_family == AF_INET6 && at->ai_addrlen == sizeof(sockaddr_in6)) {
            sockaddr_in6 peer{};
            std::memcpy(&peer, at->ai_addr, sizeof peer);
            peer.sin6_port = htons(endpoint.port);
            addresses.push_back(address_of(&peer, sizeof peer));
        }
    }
    ::freeaddrinfo(found);
    return addresses;
}

std::string address_shown(const Address& address) {
    if (address.storage.ss_family == AF_INET6) {
        const auto& peer = reinterpret_cast<const sockaddr_in6&>(address.storage);
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, &peer.sin6_addr, text, sizeof text);
        return std::string(" ") + text;
    }
    const auto& peer = reinterpret_cast<const sockaddr_in&>(address.storage);
    unsigned char octets[4];
    std::memcpy(octets, &peer.sin_addr, sizeof octets);
    const std::uint32_t little =
        static_cast<std::uint32_t>(octets[0]) | static_cast<std::uint32_t>(octets[1]) << 8 |
        static_cast<std::uint32_t>(octets[2]) << 16 | static_cast<std::uint32_t>(octets[3]) << 24;
    return support::format_number(static_cast<std::int32_t>(little));
}

std::optional<support::Failure> connect_to(const Address& address, std::int64_t timeout_ms,
                                           support::Fd& socket) {
    const auto failure = [&](int err, std::string_view call) {
        socket.reset();
        return support::Failure{support::Problem::connect, err, {}, call};
    };
    socket = support::Fd(::socket(address.storage.ss_family,
                                  SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
    if (!socket) return failure(errno, "socket()");
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address.storage),
                  address.length) == 0) {
        return std::nullopt;
    }
    if (errno != EINPROGRESS) return failure(errno, "connect()");
    // the connect goes on in the kernel; its outcome is the socket's pending error
    const int ready = wait_ready(socket.get(), POLLOUT, timeout_ms);
    if (ready < 0) return failure(errno, "connect()");
    if (ready == 0) return failure(ETIMEDOUT, "connect()");
    int err = 0;
    socklen_t size = sizeof err;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &err, &size) != 0) err = errno;
    if (err != 0) return failure(err, "connect()");
    return std::nullopt;
}

Dialed dial(const support::Url& url, const Reach& reach) {
    Dialed dialed;
    auto planned = plan_route(url, reach.proxies);
    if (auto* refused = std::get_if<support::Failure>(&planned)) {
        dialed.failure = std::move(*refused);
        return dialed;
    }
    const Route& route = std::get<Route>(planned);
    const std::vector<Address> addresses = resolve(route.peer);
    if (addresses.empty()) {
        dialed.failure = support::Failure{support::Problem::resolve, 0, route.peer_authority};
        return dialed;
    }
    support::Fd socket;
    std::int64_t phase_end = -1;
    for (const Address& address : addresses) {
        dialed.shown = address_shown(address);
        phase_end = deadline_in(connect_phase_ms(reach.timeouts));
        dialed.failure = connect_to(address, reach.timeouts.connect_ms, socket);
        if (!dialed.failure) break;
    }
    if (dialed.failure) return dialed;
    dialed.stream = Stream(std::move(socket), reach.timeouts.idle_ms);
    if (!route.tls) {
        dialed.http_proxy = route.proxy;
        return dialed;
    }
    // a proxy or a server that drips its answer or handshake must not hold the run for
    // longer than the connect phase's bound, however steadily its bytes come
    dialed.stream.bound_until(phase_end);
    if (route.tunnel()) {
        dialed.tunnel_head = connect_head(route.server, route.proxy->authorization);
        dialed.failure = open_tunnel(dialed.stream, dialed.tunnel_head);
        if (dialed.failure) return dialed;
    }
    dialed.failure = dialed.stream.start_tls(route.server);
    dialed.stream.bound_until(-1);
    return dialed;
}

}  // namespace http
