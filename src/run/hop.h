#pragma once

// One hop: reach the server, send the request, receive the response into the spool, make
// the response file, scan it, and write the body when the response is the page.

#include <functional>
#include <string>
#include <variant>

#include "http/connection.h"
#include "http/method.h"
#include "redirect/redirect.h"
#include "run/command_line.h"
#include "support/console.h"
#include "support/failure.h"

namespace run {

// How a hop reaches its server: the run's one seam to the network, so that whole runs can
// be driven in-process against a scripted peer.
struct Network {
    std::function<http::Dialed(const support::Url&, const http::Reach&)> dial = http::dial;
    http::Reach reach;
};

// What holds for every hop of a run.
struct HopSettings {
    const support::Console& console;
    http::Method method = http::Method::get;
    Mode mode = Mode::loud;
    const Network& network;
};

struct PageWritten {};
struct Redirected {
    std::string value;  // the Location value as received
};
struct Signalled {
    int signal;  // SIGINT, SIGTERM or SIGHUP during the receive, after the spool is written
};
using HopEnd = std::variant<PageWritten, Redirected, support::Failure, Signalled>;

// Fetches the target. The redirects so far decide whether a redirect keeps the response
// as the preserved first one, and give the quiet side file its last target.
HopEnd fetch(const HopSettings& settings, const Target& target,
             const redirect::RedirectState& redirects);

}  // namespace run
