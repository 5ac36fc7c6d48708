// The agent log's account of one ping, made from what the ping learnt: the way to the
// server (the proxy and the variable that named it, or that no_proxy excluded the server;
// the name's addresses as far as they were tried, each attempt, the proxy's answer to
// CONNECT, the machine's own proxy setting), each step of the transfer, the server's
// certificate, the warnings an operator needs (certificate lifetime, pin mismatch, clock,
// slow answer) and a closing verdict. Every line is made here, as plain values first, so
// that it can be tested without a log, and written to the connection's log,
// Ardentis.Connection. Never the token; the server's text is printable where it was
// captured.
#pragma once

#include <string>
#include <vector>

#include "communication/ping_facts.h"

namespace Ardentis {

struct LogLine {
    enum class Level { Info, Warn, Error };
    Level level = Level::Info;
    std::string text;

    bool operator==(const LogLine&) const = default;
};

void WriteLog(const LogLine& line);
void WriteLog(const std::vector<LogLine>& lines);

// The line before the transfer: what is pinged, with which timeouts and trust.
LogLine PingStarts(const std::string& url, const PingTarget& target);

// The trace of the transfer that facts describe and error judged, in the log's order.
std::vector<LogLine> PingTrace(const PingFacts& facts, const PingError& error);

// The closing line of a ping. key says which key identified the server.
LogLine CheckPassed(const PingFacts& facts, const std::string& key);
LogLine CheckFailed(const PingError& error);

// The route's lines, in the log's order; they come before "Connected to".
std::vector<std::string> RouteTrace(const PingFacts& facts);

// "127.0.0.2 port 8443: timed out after 1000 ms"
std::string DescribeAttempt(const ConnectAttempt& attempt);

}  // namespace Ardentis
