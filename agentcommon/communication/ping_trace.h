// The agent log's account of one ping: each step of the transfer, the server's
// certificate, the warnings an operator needs (certificate lifetime, pin mismatch, clock,
// slow answer) and a closing verdict. Never the token; server text made printable.
#pragma once

#include <curl/curl.h>

#include <string>

#include "agentcommon/communication/tls_observer.h"
#include "agentcommon/communication/transfer_outcome.h"

namespace Ardentis {

struct PingTrace {
    std::string host;       // as dialled, without brackets
    std::string hostPort;   // for messages
    std::string proxy;      // the proxy the transfer went through, credentials removed
    std::string pinnedKey;  // the pin of ConfigurationServer.PEM; empty on first contact
    const TlsObservation* tls = nullptr;
    std::string date;  // the answer's Date header, as sent
    long timeoutSeconds = 0;
};

// Logs the trace of the transfer that curl has just finished with outcome error.
void LogPingTrace(CURL* curl, const PingTrace& trace, const PingError& error);

// The closing line of a ping: key says which key identified the server.
void LogCheckPassed(CURL* curl, const PingTrace& trace, const std::string& key);
void LogCheckFailed(const char* step, const PingError& error);

// Which step of the ping a transfer's error code (and HTTP status) stops at.
const char* FailedStep(std::int32_t code, long status);

// One line for the report: the two keys, cut to what a line can bear, and what to do.
std::string PinMismatchMessage(const std::string& hostPort, const std::string& presented,
                               const std::string& pinned);

}  // namespace Ardentis
