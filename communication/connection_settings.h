// What the connection needs from install_config.txt.
#pragma once

#include <string>

namespace Ardentis {

struct ConnectionSettings {
    std::string server;  // ConfigurationServer, blanks around it removed
    std::string token;   // ApplicationToken, blanks around it removed; never logged
    long connectTimeoutSeconds = 0;
    long timeoutSeconds = 0;
};

// Reads the configuration folder's install_config.txt with the program's own rules (the
// first entry of a repeated key counts) and logs what it takes and what looks wrong in
// the file (install/install_lint.h). A timeout out of its range is logged and its
// default kept (install/install_keys.h).
ConnectionSettings LoadConnectionSettings();

}  // namespace Ardentis
