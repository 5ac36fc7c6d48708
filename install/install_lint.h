// Warnings about install_config.txt that explain failures the file causes silently: a
// misspelt or mis-cased key, a repeated key, a byte-order mark, blanks around a value.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_parameters.h"

namespace corvane {

// Letters changed, added or left out to turn a into b.
std::size_t EditDistance(std::string_view a, std::string_view b);

// The known key (install_keys.h) that key was probably meant to be: one that differs
// only in case or in at most two letters, a byte-order mark in front left aside. Empty
// for a known key and for one that is like none.
std::string_view MeantKey(std::string_view key);

// One warning per finding, each saying how to mend it. Never holds the token's value.
std::vector<std::string> LintInstallParameters(const InstallParameters& table);

}  // namespace corvane
