// What a ping's outcome is: every error code the connection reports, with the step it
// stops at and the words of its message (but for the refused addresses of
// server_address.cpp), decided by the party that failed, then by the cause.
#pragma once

#include <optional>
#include <string>

#include "communication/ping_facts.h"
#include "util/expected.h"

namespace Ardentis {

// The outcome of a finished transfer, decided by the party that failed first (the proxy
// variable, the resolver, the proxy, the TLS handshake with the server or its answer),
// then by the cause. Which error wins: the first-contact refusal of the certificate, then
// a second certificate, then libcurl's result, then the HTTP status. An answer that is not
// HTTP, or one cut off in its headers, counts as none (code 8); a body cut by the
// connection's own limit does not count against the answer; more header and trailer lines
// than the connection reads end it with code 27. A lookup that outlived the connect
// timeout stops at the lookup, with libcurl's code 28.
PingError ClassifyTransfer(const PingFacts& facts);

// What a status line said ("401 Unauthorized", its text as ReadStatusLine keeps it); the
// bare status when the line had no words.
std::string StatusText(const PrintableText& text, long status);

// Why the name host did not resolve, for a message: the resolver's answer when it was
// asked again, otherwise libcurl's words (detail).
std::string LookupCause(platform::LookupFailure failure, const std::string& host,
                        const PrintableText& detail);

// The proxy's failure, for a transfer that ended with code (libcurl's, after the verdict's
// own readings): its variable, its name, the connection to it, the TLS handshake with it,
// its answer to CONNECT, or its inspection of TLS. Nothing when no proxy was named or the
// proxy was not the party that failed.
std::optional<PingError> ProxyFailure(const PingFacts& facts, int code);

// True when a changed key came through a proxy's tunnel from another issuer than the
// pinned certificate's: a proxy that inspects TLS, not a new key of the server's.
bool InspectionLikely(const PingFacts& facts);

// What to do once a changed certificate has been checked: the wording of every message
// that gives this advice but the two the log and the unusable file had first.
std::string RepinAdvice();
// The same for the report, with the pinned file's full path and who may remove it.
std::string RepinAdvice(const PingTarget& target);

// The errors found before anything is sent.
PingError TokenRefused();                              // ApplicationToken holds a control byte
PingError AddressRefused(const util::Error& refusal);  // from ParseServerAddress
PingError PinnedFileUnusable(const std::string& why);
PingError PinnedFileUnwritable(const std::string& why);
PingError TransferNotStarted();

// One line for the report: the two keys, cut to what a line can bear, and what to do with
// the pinned file at target's path.
std::string PinMismatchMessage(const PingTarget& target, const std::string& presented);

}  // namespace Ardentis
