#include "communication/name_lookup.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <memory>

namespace Ardentis {
namespace {

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

std::unique_ptr<addrinfo, AddressListDeleter> Resolve(const std::string& host, int flags) {
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return nullptr;
    return std::unique_ptr<addrinfo, AddressListDeleter>(list);
}

}  // namespace

std::string DescribeLookup(const std::string& host) {
    if (Resolve(host, AI_NUMERICHOST)) return "an address, no lookup";
    const auto list = Resolve(host, 0);
    if (!list) return "no address found";
    std::string addresses;
    for (const addrinfo* entry = list.get(); entry; entry = entry->ai_next) {
        char text[NI_MAXHOST] = {};
        if (getnameinfo(entry->ai_addr, static_cast<socklen_t>(entry->ai_addrlen), text,
                        sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        addresses += (addresses.empty() ? "" : ", ") + std::string(text);
    }
    return addresses;
}

}  // namespace Ardentis
