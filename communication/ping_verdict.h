// What a ping's outcome is: every error code the connection reports, with the step it
// stops at and the words of its message, made in ping_verdict.cpp (but for the refused
// addresses of server_address.cpp).
#pragma once

#include <string>

#include "communication/ping_error.h"
#include "communication/ping_facts.h"

namespace Ardentis {

// The outcome of a finished transfer. Which error wins: the first-contact refusal of the
// certificate, then a second certificate, then libcurl's result, then the HTTP status.
// An answer that is not HTTP, or one cut off in its headers, counts as none (code 8); a
// body cut by the connection's own limit does not count against the answer.
// A proxy's failure before its tunnel opened keeps libcurl's code and is named the proxy's,
// at the step "the proxy"; a lookup that outlived the connect timeout stops at the lookup.
PingError ClassifyTransfer(const PingFacts& facts);

// "401 Unauthorized" from the status line "HTTP/1.1 401 Unauthorized", made printable; the
// bare status when the line has no words.
std::string StatusText(const std::string& statusLine, long status);

// The errors found before anything is sent.
PingError TokenRefused();  // ApplicationToken holds a control byte
PingError PinnedFileUnusable(const std::string& why);
PingError PinnedFileUnwritable(const std::string& why);
PingError TransferNotStarted();

// One line for the report: the two keys, cut to what a line can bear, and what to do.
std::string PinMismatchMessage(const std::string& hostPort, const std::string& presented,
                               const std::string& pinned);

}  // namespace Ardentis
