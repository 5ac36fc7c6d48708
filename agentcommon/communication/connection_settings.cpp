#include "agentcommon/communication/connection_settings.h"

#include <log4cxx/logger.h>

#include <boost/algorithm/string/trim.hpp>
#include <charconv>

#include "agentcommon/communication/configuration_lint.h"
#include "agentcommon/communication/server_text.h"
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
        LOG4CXX_WARN(Log(), key << " '" << Printable(text)
                                << "' is not a whole number of seconds from 1 to "
                                << kLongestTimeoutSeconds << "; using " << seconds << " s");
        return;
    }
    seconds = value;
}

// The configuration read aloud: each key the agent reads, whether it is there and what the
// connection takes from it (never the token), then what looks wrong in the file.
void LogSettings(const corvane::InstallParameters& table, const ConnectionSettings& settings) {
    const auto has = [&](const char* key) {
        return corvane::FindInstallParameter(table, key) ? " present" : " absent";
    };
    LOG4CXX_INFO(Log(), "install_config.txt: ConfigurationServer"
                            << has("ConfigurationServer") << " ('" << Printable(settings.server)
                            << "'), ApplicationToken" << has("ApplicationToken")
                            << " (value not logged), ConfigurationServerConnectTimeout"
                            << has("ConfigurationServerConnectTimeout") << " ("
                            << settings.connectTimeoutSeconds << " s), ConfigurationServerTimeout"
                            << has("ConfigurationServerTimeout") << " (" << settings.timeoutSeconds
                            << " s)");
    for (const std::string& warning : LintInstallParameters(table)) LOG4CXX_WARN(Log(), warning);
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
    LogSettings(table, settings);
    return settings;
}

}  // namespace Ardentis
