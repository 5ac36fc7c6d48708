// The proxy that the machine's own settings name for programs that ask the system for one.
// The check never uses it (it reads only the environment variables); the log names it so
// that an operator sees when the two differ.
#pragma once

#include <string>

namespace platform {

struct SystemProxy {
    bool known = false;  // the system has such a setting and it could be read
    std::string proxy;   // as set ("host:port", "https=host:port;..."); empty: direct
    std::string bypass;  // the hosts that go direct, as set
};

// On Windows, WinHTTP's default proxy configuration (what netsh winhttp sets); a PAC
// file or the interactive user's settings are not read. Elsewhere nothing is known.
SystemProxy MachineProxySetting();

}  // namespace platform
