#include "communication/connection_settings.h"

#include <boost/algorithm/string/trim.hpp>

#include "communication/ping_trace.h"
#include "install/install_keys.h"
#include "install/install_lint.h"
#include "install/install_parameters.h"
#include "util/printable_text.h"

namespace Ardentis {
namespace {

std::string Trimmed(const corvane::InstallParameters& table, std::string_view key) {
    const std::string* value = corvane::FindInstallParameter(table, std::string(key));
    return value ? boost::algorithm::trim_copy(*value) : std::string();
}

long ReadTimeout(const corvane::InstallParameters& table, std::string_view name) {
    const corvane::InstallKey& key = corvane::KnownInstallKey(name);
    const std::string* value = corvane::FindInstallParameter(table, std::string(name));
    const util::Expected<long> seconds =
        corvane::TimeoutSeconds(key, value ? *value : std::string());
    if (seconds) return *seconds;
    WriteLog({LogLine::Level::Warn, seconds.Error().reason});
    return key.defaultSeconds;
}

// What the log shows of the value that the connection takes from key: never the token.
std::string Shown(const corvane::InstallKey& key, const ConnectionSettings& settings) {
    if (key.secret) return "value not logged";
    if (key.name == corvane::kServerKey) return util::Quoted(settings.server);
    if (key.name == corvane::kConnectTimeoutKey)
        return std::to_string(settings.connectTimeoutSeconds) + " s";
    return std::to_string(settings.timeoutSeconds) + " s";
}

// The configuration read aloud: each key the agent reads, whether it is there and what the
// connection takes from it.
std::string ReadAloud(const corvane::InstallParameters& table, const ConnectionSettings& settings) {
    std::string text = "install_config.txt:";
    for (const corvane::InstallKey& key : corvane::kInstallKeys) {
        const std::string name(key.name);
        if (&key != &corvane::kInstallKeys.front()) text += ",";
        text += " " + name +
                (corvane::FindInstallParameter(table, name) ? " present (" : " absent (") +
                Shown(key, settings) + ")";
    }
    return text;
}

}  // namespace

ConnectionSettings LoadConnectionSettings() {
    corvane::InstallParameters table;
    corvane::LoadInstallParameters(table);

    ConnectionSettings settings;
    settings.server = Trimmed(table, corvane::kServerKey);
    settings.token = Trimmed(table, corvane::kTokenKey);
    settings.connectTimeoutSeconds = ReadTimeout(table, corvane::kConnectTimeoutKey);
    settings.timeoutSeconds = ReadTimeout(table, corvane::kTimeoutKey);
    WriteLog({LogLine::Level::Info, ReadAloud(table, settings)});
    for (std::string& warning : corvane::LintInstallParameters(table))
        WriteLog({LogLine::Level::Warn, std::move(warning)});
    return settings;
}

}  // namespace Ardentis
