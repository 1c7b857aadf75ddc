#pragma once

// One HTTP/1.0 request out, the whole response in to the spool file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/endpoint.h"
#include "http/method.h"
#include "http/proxy.h"
#include "http/stream.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/url.h"

namespace http {

// The request line and the Host, Connection and User-Agent lines, each ended by CR LF;
// the empty line that ends the request is not included. The target is the URL's path as
// request_target writes it (the fragment is never sent), the Host line its
// authority as authority_sent gives it (never its userinfo nor a zone). An
// Authorization line follows when `authorization` is not empty. Through a proxy the target
// is the whole URL ("http://", whatever scheme was written, then the authority as sent and
// the path) and a Proxy-Authorization line follows for its credentials.
std::string build_request_head(Method method, const support::Url& url, std::string_view version,
                               const std::optional<Proxy>& proxy = std::nullopt,
                               std::string_view authorization = {});

// One receive as the log and the spool count it, and one block of the spool file.
constexpr std::size_t k_receive_size = 8192;
// What one receive call may really take on a plain stream: large pieces keep the calls few
// on a fast peer, and each is written to the spool at once. Its pipe holds this much at
// most, where the system allows; where there is no pipe, it is a buffer of this size.
constexpr std::size_t k_receive_piece = 1 << 20;
// What one receive takes over TLS, where OpenSSL decrypts one record of 16 KiB at most per
// call into the buffer: four records a write cost no more time than 64 of them, and every
// page beyond them would stay in the run's peak memory beside OpenSSL's own.
constexpr std::size_t k_tls_receive_piece = 64 << 10;

struct Received {
    std::int64_t total = 0;  // bytes received on this hop
    std::optional<support::Failure> failure;
    int signal = 0;  // a SIGINT, SIGTERM or SIGHUP that ended the receive; 0 when none
};

// Receives until the peer closes into a spool that reads as if the response had come in
// receives of 8,192 bytes, each followed by a block write of the whole receive area at
// offset total: the new bytes, a zero byte, and what earlier, longer receives of the hop
// left behind it. Each piece is taken as the run of 8 KiB receives that would have brought
// it. A receive error, idle_ms without a byte (-1: no limit), a failed write, or an end
// that leaves the response short of what its header announced (LengthCheck) ends it with a
// failure; a SIGINT, SIGTERM or SIGHUP with that signal; each after what arrived is in the
// spool. `log`, when given, gets one step line per 8 KiB receive. A plain stream's bytes
// go to the spool inside the kernel, through a pipe, where the system gives one and the
// spool takes them; a failure to read them back for the accounting is the spool's, with
// no filler written.
Received receive_to_spool(const Stream& stream, Method method, std::int64_t idle_ms, int spool,
                          const std::string& spool_name, const support::Console* log);

// "<count>. step: <n> of <total>", each number in the console format.
std::string format_step_line(std::int64_t count, std::int64_t n, std::int64_t total);

}  // namespace http
