// Everything one ping learnt, as a plain value, and the error it ends with. The connection
// fills it while and after the transfer runs; the verdict (ping_verdict.h) and the log's
// trace (ping_trace.h) are made from it alone, so that both can be tested with values
// built by hand. Text that came from outside (the server, the proxy, libcurl, the system)
// is made printable where it is captured: a field of type PrintableText holds it so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/name_lookup.h"
#include "util/printable_text.h"

namespace Ardentis {

using util::PrintableText;

// The most the pinned certificate file may hold: a certificate, even with a long chain, is
// far smaller.
inline constexpr std::size_t kLargestPinnedFile = 64 * 1024;

struct CertificateFacts {
    PrintableText subject;  // RFC 2253 form
    PrintableText issuer;   // the same
    std::string notBefore;  // YYYY-MM-DD
    std::string notAfter;   // YYYY-MM-DD
    int daysLeft = 0;       // days until notAfter, a part day counted whole; < 0 once passed
    std::string pin;        // the public key's pin, see PublicKeyPin; empty when unreadable
};

// The server, as install_config.txt names it, and how it is trusted.
struct PingTarget {
    std::string host;      // as dialled, without brackets
    std::string hostPort;  // for messages
    long timeoutSeconds = 0;
    long connectTimeoutSeconds = 0;
    std::string pinnedKey;       // the pin of the pinned certificate file; empty on first contact
    PrintableText pinnedIssuer;  // the issuer of the pinned certificate
    PrintableText pinnedPath;    // the pinned certificate file's full path
    PrintableText pinnedOwner;   // who owns it, once its key did not match; else empty
};

// One address the ping tried, as libcurl's notes on the transfer tell it (route_notes.h).
enum class AttemptOutcome { Pending, Connected, Refused, TimedOut, Unreachable, Failed };

struct ConnectAttempt {
    std::string address;  // as libcurl prints it, an IPv6 address without brackets
    long port = 0;
    AttemptOutcome outcome = AttemptOutcome::Pending;
    PrintableText reason;     // the system's words when the outcome is Failed
    double startedMs = 0;     // on the ping's clock
    double milliseconds = 0;  // from the start to the outcome
};

// The machine's own proxy setting (WinHTTP's, platform/system_proxy.h).
struct MachineProxy {
    bool known = false;        // the system has such a setting and it could be read
    PrintableText proxy;       // as set ("host:port", "https=host:port;..."); empty: direct
    PrintableText bypass;      // the hosts that go direct, as set
    PrintableText httpsProxy;  // the "host:port" it names for https; empty when none
};

// The proxy, how it was chosen and what it answered (route_notes.h).
struct PingProxy {
    PrintableText url;       // the proxy libcurl took from the environment, credentials removed
    PrintableText variable;  // the variable that named it: https_proxy, HTTPS_PROXY, all_proxy...
    PrintableText settingProblem;  // why that value is no proxy libcurl can use; empty when it is
    bool httpsScheme = false;      // the value names an https:// proxy: TLS to the proxy first
    PrintableText user;            // the user name it gives; never the password
    bool credentials = false;      // it gives a user name or a password
    std::string host;              // the proxy's host and port as libcurl connects to them
    long port = 0;
    bool connected = false;           // libcurl reported its connection to the proxy
    PrintableText noProxyVariable;    // no_proxy or NO_PROXY, when libcurl read one
    PrintableText noProxyValue;       // its value
    std::string unusedVariable;       // without a proxy: the variable that names one all the same
    bool connectAnswered = false;     // the proxy answered the CONNECT with a status line
    PrintableText connectStatusText;  // its words after the version: "407 Proxy Auth..."
    long connectStatus = 0;           // the status that line gives; 0 without one
    long connectCode = 0;             // libcurl's reading of that answer; 0 without one
    std::vector<PrintableText> authSchemes;  // the schemes of its Proxy-Authenticate headers
    std::size_t moreSchemes = 0;             // schemes beyond the ones kept, counted only
    PrintableText reason;     // its own header on why it failed (X-Squid-Error, Proxy-Status)
    bool tunnelOpen = false;  // a 2xx answer to CONNECT has ended: later headers are the server's
    MachineProxy machine;     // the machine's own setting, which the check does not use
};

// How the transfer reached the server: nothing is looked up a second time, so this is all
// the log knows of a name's addresses.
struct PingRoute {
    PingProxy proxy;
    std::vector<ConnectAttempt> attempts;  // in the order libcurl started them
    bool lookupTimedOut = false;  // the name's lookup did not end within the connect timeout
    platform::LookupFailure lookup = platform::LookupFailure::Unknown;  // why a name failed
    std::string ip;  // the address connected to, empty when none was
    long port = 0;
};

// What the TLS handshake showed (tls_observer.h).
struct PingTls {
    std::string version;  // "TLSv1.3"; empty without a handshake
    std::string cipher;
    std::optional<CertificateFacts> certificate;  // the server's own, of the first handshake
    std::string refusal;                          // why first contact refused that certificate
    bool certificateChanged = false;              // a later handshake presented another one
    int alertReceived = -1;  // the TLS alert the server ended the handshake with; -1 none
    bool certificateRequested = false;  // the server asked for a client certificate
    bool renegotiationRefused = false;  // the server asked to renegotiate, and was refused
};

// The most header lines the connection reads, the proxy's and the trailers included:
// libcurl keeps every one of them, and bounds only each line, not their number.
inline constexpr std::size_t kLargestHeaders = 256 * 1024;

// What the connection's callbacks saw of the answer.
struct PingAnswer {
    PrintableText statusText;   // "401 Unauthorized" of the status line; empty without words
    bool headersEnded = false;  // the blank line after the headers arrived
    std::size_t bodyBytes = 0;
    bool bodyCut = false;         // the body was longer than the connection reads
    PrintableText date;           // the Date header
    long status = 0;              // libcurl's reading of the status; 0 without an answer
    std::size_t headerBytes = 0;  // of every header and trailer line, the proxy's included
    bool headersCut = false;      // there were more of them than the connection reads
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

// Why a ping failed, as the connection reports it: the verdict on the facts.
struct PingError {
    /// 0 after a 2xx answer, 22 after another status, otherwise a libcurl code.
    std::int32_t code = 0;
    /// Empty with code 0; otherwise what failed and where, for the report.
    std::string message;
    /// The step of the ping it stopped at, for the log's verdict ("the TLS handshake").
    const char* step = "";
};

struct PingFacts {
    PingTarget target;
    PingRoute route;
    PingTls tls;
    PingAnswer answer;
    PingTimes times;
    int result = 0;               // libcurl's CURLcode for the transfer
    PrintableText detail;         // libcurl's words (LibcurlWords); may be empty
    std::time_t serverTime = -1;  // the Date header read as a time; -1 without one
    std::time_t localTime = 0;    // this machine's clock when the answer was read
};

}  // namespace Ardentis
