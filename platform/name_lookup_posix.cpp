#include "platform/name_lookup.h"

#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cerrno>
#include <cstring>

namespace platform {

LookupFailure WhyNameFails(const std::string& host, int seconds) {
    struct __res_state state;
    std::memset(&state, 0, sizeof state);
    if (res_ninit(&state) != 0) return LookupFailure::Unknown;
    // One try of each resolver, bounded: the run is already past its lookup.
    state.retrans = seconds < 1 ? 1 : seconds;
    state.retry = 1;
    unsigned char answer[512];
    errno = 0;
    const int size = res_nsearch(&state, host.c_str(), C_IN, T_A, answer, sizeof answer);
    const int error = errno;
    const int hostError = state.res_h_errno;
    res_nclose(&state);
    if (size >= 0) return LookupFailure::Unknown;
    switch (hostError) {
        case HOST_NOT_FOUND:
            return LookupFailure::NoSuchName;
        case NO_DATA:
            return LookupFailure::NoAddress;
        case NO_RECOVERY:
            return LookupFailure::Refused;  // REFUSED, FORMERR, NOTIMP
        case TRY_AGAIN:
            if (error == ETIMEDOUT) return LookupFailure::NoAnswer;
            if (error == ECONNREFUSED) return LookupFailure::Unreachable;
            return LookupFailure::ServerFailure;
        default:
            return LookupFailure::Unknown;
    }
}

}  // namespace platform
