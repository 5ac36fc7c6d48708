// Why a host name did not resolve, asked of the system's resolver once more after the
// transfer failed at the lookup: libcurl says only that it failed.
#pragma once

#include <string>

namespace platform {

enum class LookupFailure {
    Unknown,        // the system does not tell, or the name resolves now
    NoSuchName,     // the resolver answered that the name does not exist (NXDOMAIN)
    NoAddress,      // the name exists but has no address
    ServerFailure,  // the resolver answered that it failed (SERVFAIL)
    Refused,        // the resolver refused the query (REFUSED)
    NoAnswer,       // no resolver answered in time
    Unreachable,    // no resolver could be reached (nothing listens at its address)
};

// Asks the resolvers of /etc/resolv.conf for an address of host, waiting at most about
// seconds for each. Unknown on Windows, whose resolver is not asked a second time.
LookupFailure WhyNameFails(const std::string& host, int seconds);

}  // namespace platform
