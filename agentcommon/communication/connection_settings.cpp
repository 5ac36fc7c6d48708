#include "agentcommon/communication/connection_settings.h"

#include <log4cxx/logger.h>

#include <boost/algorithm/string/trim.hpp>
#include <charconv>

#include "install/install_parameters.h"

namespace Ardentis {
namespace {

constexpr long kLongestTimeoutSeconds = 3600;

log4cxx::LoggerPtr Log() {
    return log4cxx::Logger::getLogger("Ardentis.Connection");
}

std::string Trimmed(const std::string* value) {
    return value ? boost::algorithm::trim_copy(*value) : std::string();
}

void ReadTimeout(const corvane::InstallParameters& table, const char* key, long& seconds) {
    const std::string text = Trimmed(corvane::FindInstallParameter(table, key));
    if (text.empty()) return;
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > kLongestTimeoutSeconds) {
        LOG4CXX_WARN(Log(), key << " '" << text << "' is not a whole number of seconds from 1 to "
                                << kLongestTimeoutSeconds << "; using " << seconds << " s");
        return;
    }
    seconds = value;
}

}  // namespace

ConnectionSettings LoadConnectionSettings() {
    corvane::InstallParameters table;
    corvane::LoadInstallParameters(table);

    ConnectionSettings settings;
    settings.server = Trimmed(corvane::FindInstallParameter(table, "ConfigurationServer"));
    settings.token = Trimmed(corvane::FindInstallParameter(table, "ApplicationToken"));
    ReadTimeout(table, "ConfigurationServerConnectTimeout", settings.connectTimeoutSeconds);
    ReadTimeout(table, "ConfigurationServerTimeout", settings.timeoutSeconds);
    return settings;
}

}  // namespace Ardentis
