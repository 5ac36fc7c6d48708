// What the connection needs from install_config.txt.
#pragma once

#include <string>

namespace Ardentis {

struct ConnectionSettings {
    std::string server;  // ConfigurationServer, blanks around it removed
    std::string token;   // ApplicationToken, blanks around it removed; never logged
    long connectTimeoutSeconds = 10;
    long timeoutSeconds = 30;
};

// Reads the configuration folder's install_config.txt with the program's own rules (the
// first entry of a repeated key counts). The optional ConfigurationServerConnectTimeout
// and ConfigurationServerTimeout take whole seconds from 1 to 3600; another value is
// logged and the default kept.
ConnectionSettings LoadConnectionSettings();

}  // namespace Ardentis
