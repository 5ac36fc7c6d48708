// The configuration server's address as install_config.txt gives it.
#pragma once

#include <string>
#include <string_view>

#include "util/expected.h"

namespace Ardentis {

struct ServerAddress {
    std::string pingUrl;   // https://host:port/base/ping
    std::string host;      // the host name or address, without brackets
    std::string hostPort;  // host:port, for messages ([v6]:port for IPv6)
};

// Accepts host, host:port, [IPv6-address]:port and https:// URLs with an optional base
// path; the port defaults to 443. Any other scheme, http:// included, is refused with
// error code 1 so that the token never crosses the network in clear; anything that is
// not an address (credentials, query, fragment included) with error code 3. The error's
// reason is the report's message for the refusal.
util::Expected<ServerAddress> ParseServerAddress(std::string_view text);

}  // namespace Ardentis
