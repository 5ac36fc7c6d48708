// The log's lines on the way to the configuration server, made from the ping's route: the
// proxy and the variable that named it (or that no_proxy excluded the server), the name's
// addresses as far as they were tried, each attempt, the proxy's answer to CONNECT and the
// machine's own proxy setting.
#pragma once

#include <string>
#include <vector>

#include "communication/ping_facts.h"

namespace Ardentis {

// The route's lines, in the log's order; they come before "Connected to".
std::vector<std::string> RouteTrace(const PingFacts& facts);

}  // namespace Ardentis
