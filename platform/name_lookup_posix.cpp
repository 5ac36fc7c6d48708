#include "platform/name_lookup.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <poll.h>
#include <resolv.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform {
namespace {

// The resolver's answer code, or why there is none. The C library's own query loop
// cannot tell these apart: it takes a refusal or a failure for no answer, and goes on to
// the next resolver.
LookupFailure Ask(const sockaddr_in& resolver, const unsigned char* query, int size, int seconds) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return LookupFailure::Unknown;
    LookupFailure failure = LookupFailure::NoAnswer;
    // connect() lets the system report a resolver port where nothing listens.
    if (connect(fd, reinterpret_cast<const sockaddr*>(&resolver), sizeof resolver) != 0 ||
        send(fd, query, static_cast<std::size_t>(size), 0) != size) {
        close(fd);
        return LookupFailure::Unreachable;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    unsigned char answer[512];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready = {fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        const ssize_t got = recv(fd, answer, sizeof answer, 0);
        if (got < 0) {
            if (errno == ECONNREFUSED) failure = LookupFailure::Unreachable;
            if (errno == ECONNREFUSED || (errno != EINTR && errno != EAGAIN)) break;
            continue;
        }
        HEADER header;
        // An answer to another query (its ID differs) is not ours: keep waiting.
        if (static_cast<std::size_t>(got) < sizeof header) continue;
        std::memcpy(&header, answer, sizeof header);
        if (std::memcmp(answer, query, 2) != 0 || !header.qr) continue;
        switch (header.rcode) {
            case ns_r_nxdomain:
                failure = LookupFailure::NoSuchName;
                break;
            case ns_r_servfail:
                failure = LookupFailure::ServerFailure;
                break;
            case ns_r_refused:
                failure = LookupFailure::Refused;
                break;
            case ns_r_noerror:
                failure = header.ancount == 0 ? LookupFailure::NoAddress : LookupFailure::Unknown;
                break;
            default:
                failure = LookupFailure::Unknown;
        }
        break;
    }
    close(fd);
    return failure;
}

}  // namespace

LookupFailure WhyNameFails(const std::string& host, int seconds) {
    struct __res_state state;
    std::memset(&state, 0, sizeof state);
    if (res_ninit(&state) != 0) return LookupFailure::Unknown;
    unsigned char query[512];
    const int size = res_nmkquery(&state, ns_o_query, host.c_str(), ns_c_in, ns_t_a, nullptr, 0,
                                  nullptr, query, sizeof query);
    // The first resolver of resolv.conf that gives an answer code decides; the others are
    // asked only when it cannot be reached.
    LookupFailure failure = LookupFailure::Unknown;
    for (int i = 0; size > 0 && i < state.nscount; ++i) {
        if (state.nsaddr_list[i].sin_family != AF_INET) continue;
        failure = Ask(state.nsaddr_list[i], query, size, seconds < 1 ? 1 : seconds);
        if (failure != LookupFailure::Unreachable) break;
    }
    res_nclose(&state);
    return failure;
}

}  // namespace platform
