// The keys of install_config.txt that the program and the agent's library read, and what
// each one means: the only place that spells them.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "util/expected.h"

namespace corvane {

inline constexpr std::string_view kServerKey = "ConfigurationServer";
inline constexpr std::string_view kTokenKey = "ApplicationToken";
inline constexpr std::string_view kConnectTimeoutKey = "ConfigurationServerConnectTimeout";
inline constexpr std::string_view kTimeoutKey = "ConfigurationServerTimeout";

// A timeout takes whole seconds from 1 to this.
inline constexpr long kLongestTimeoutSeconds = 3600;

struct InstallKey {
    std::string_view name;
    /// The run stops with a message when no entry has this key.
    bool required = false;
    /// The value never reaches the log.
    bool secret = false;
    /// A timeout: the seconds used when the key is absent or its value out of range. Zero
    /// for a key that holds text, whose blanks around the value the agent leaves out.
    long defaultSeconds = 0;
};

// In the order the program checks them and the log reads them aloud.
inline constexpr std::array<InstallKey, 4> kInstallKeys = {{
    {kServerKey, true, false, 0},
    {kTokenKey, true, true, 0},
    {kConnectTimeoutKey, false, false, 10},
    {kTimeoutKey, false, false, 30},
}};

// The row of a known key.
const InstallKey& KnownInstallKey(std::string_view name);

// The seconds that value (blanks around it left out) gives the timeout key: its default
// when value is empty. Returns an error, for the log, when value is not a whole number of
// seconds in range; the caller then keeps the default.
util::Expected<long> TimeoutSeconds(const InstallKey& key, const std::string& value);

}  // namespace corvane
