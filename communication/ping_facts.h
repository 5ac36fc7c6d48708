// Everything one ping learnt, as a plain value. The connection fills it while and after
// the transfer runs; the verdict (ping_verdict.h) and the log's trace (ping_trace.h) are
// made from it alone, so that both can be tested with values built by hand.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "communication/certificate_facts.h"

namespace Ardentis {

// The server, as install_config.txt names it, and how it is trusted.
struct PingTarget {
    std::string host;      // as dialled, without brackets
    std::string hostPort;  // for messages
    long timeoutSeconds = 0;
    std::string pinnedKey;  // the pin of the pinned certificate file; empty on first contact
};

// How the transfer reached the server. Room for what a later ping learns of the way there
// (the proxy's own answer, each address tried).
struct PingRoute {
    std::string proxy;   // the proxy the transfer went through, credentials removed; or empty
    std::string lookup;  // what the system's resolver gives for host (name_lookup.h); direct only
    std::string ip;      // the address connected to, empty when none was
    long port = 0;
};

// What the TLS handshake showed (tls_observer.h).
struct PingTls {
    std::string version;  // "TLSv1.3"; empty without a handshake
    std::string cipher;
    std::optional<CertificateFacts> certificate;  // the server's own, of the first handshake
    std::string refusal;                          // why first contact refused that certificate
    bool certificateChanged = false;              // a later handshake presented another one
};

// What the connection's callbacks saw of the answer.
struct PingAnswer {
    std::string statusLine;     // "HTTP/1.1 401 Unauthorized", without the line end
    bool headersEnded = false;  // the blank line after the headers arrived
    std::size_t bodyBytes = 0;
    bool bodyCut = false;  // the body was longer than the connection reads
    std::string date;      // the Date header, as sent
    long status = 0;       // libcurl's reading of the status; 0 without an answer
};

// libcurl's times from the start of the transfer, in microseconds. It keeps those of the
// steps only for a transfer that got an answer.
struct PingTimes {
    std::int64_t nameLookup = 0;
    std::int64_t connect = 0;
    std::int64_t tlsHandshake = 0;
    std::int64_t firstByte = 0;
    std::int64_t total = 0;
};

struct PingFacts {
    PingTarget target;
    PingRoute route;
    PingTls tls;
    PingAnswer answer;
    PingTimes times;
    int result = 0;               // libcurl's CURLcode for the transfer
    std::string detail;           // libcurl's error buffer; may be empty
    std::time_t serverTime = -1;  // the Date header read as a time; -1 without one
    std::time_t localTime = 0;    // this machine's clock when the answer was read
};

}  // namespace Ardentis
