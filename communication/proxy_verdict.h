// The failures of a ping whose party is the proxy: its variable, its name, the connection
// to it, the TLS handshake with it, its answer to CONNECT, or its inspection of TLS.
#pragma once

#include <optional>

#include "communication/ping_error.h"
#include "communication/ping_facts.h"

namespace Ardentis {

// The proxy's failure, for a transfer that ended with code (libcurl's, after the verdict's
// own readings); nothing when no proxy was named or what failed was not the proxy.
std::optional<PingError> ProxyFailure(const PingFacts& facts, int code);

// True when a changed key came through a proxy's tunnel from another issuer than the
// pinned certificate's: a proxy that inspects TLS, not a new key of the server's.
bool InspectionLikely(const PingFacts& facts);

}  // namespace Ardentis
