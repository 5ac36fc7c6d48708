// Warnings about install_config.txt that explain failures the file causes silently: a
// misspelt key, a repeated key, a byte-order mark, blanks around a value.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_parameters.h"

namespace Ardentis {

// The keys that the program and the agent's library read.
inline constexpr std::array<std::string_view, 4> kKnownInstallKeys = {
    "ConfigurationServer", "ApplicationToken", "ConfigurationServerConnectTimeout",
    "ConfigurationServerTimeout"};

// One warning per finding, each saying how to mend it. Never holds the token's value.
std::vector<std::string> LintInstallParameters(const corvane::InstallParameters& table);

}  // namespace Ardentis
