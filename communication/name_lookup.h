// The addresses a host name resolves to, for the log.
#pragma once

#include <string>

namespace Ardentis {

// "127.0.0.1, ::1" for a name, "an address, no lookup" for an address, or why the name
// did not resolve. Asks the system's resolver, as libcurl does.
std::string DescribeLookup(const std::string& host);

}  // namespace Ardentis
