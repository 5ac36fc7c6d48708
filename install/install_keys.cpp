#include "install/install_keys.h"

#include <boost/algorithm/string/trim.hpp>
#include <charconv>
#include <stdexcept>

#include "util/printable_text.h"

namespace corvane {

const InstallKey& KnownInstallKey(std::string_view name) {
    for (const InstallKey& key : kInstallKeys) {
        if (key.name == name) return key;
    }
    throw std::logic_error("not a key of install_config.txt: " + std::string(name));
}

util::Expected<long> TimeoutSeconds(const InstallKey& key, const std::string& value) {
    const std::string text = boost::algorithm::trim_copy(value);
    if (text.empty()) return key.defaultSeconds;
    long seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error == std::errc() && end == text.data() + text.size() && seconds >= 1 &&
        seconds <= kLongestTimeoutSeconds)
        return seconds;
    return util::Fail(std::string(key.name) + " " + util::Quoted(text) +
                      " is not a whole number of seconds from 1 to " +
                      std::to_string(kLongestTimeoutSeconds) + "; using " +
                      std::to_string(key.defaultSeconds) + " s");
}

}  // namespace corvane
