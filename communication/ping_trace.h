// The agent log's account of one ping, made from what the ping learnt: each step of the
// transfer, the server's certificate, the warnings an operator needs (certificate
// lifetime, pin mismatch, clock, slow answer) and a closing verdict. Never the token;
// server text made printable.
#pragma once

#include <string>
#include <vector>

#include "communication/connection_log.h"
#include "communication/ping_error.h"
#include "communication/ping_facts.h"

namespace Ardentis {

// The trace of the transfer that facts describe and error judged, in the log's order.
std::vector<LogLine> PingTrace(const PingFacts& facts, const PingError& error);

// The closing line of a ping. key says which key identified the server.
LogLine CheckPassed(const PingFacts& facts, const std::string& key);
LogLine CheckFailed(const PingError& error);

}  // namespace Ardentis
