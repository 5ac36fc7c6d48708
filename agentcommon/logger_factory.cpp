#include <log4cxx/fileappender.h>
#include <log4cxx/helpers/loglog.h>
#include <log4cxx/helpers/optionconverter.h>
#include <log4cxx/helpers/properties.h>
#include <log4cxx/helpers/stringhelper.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/patternlayout.h>
#include <log4cxx/rolling/rollingfileappender.h>
#include <log4cxx/xml/domconfigurator.h>
#include <clocale>

#include <filesystem>
#include <pugixml.hpp>
#include <string_view>
#include <system_error>

#include "agentcommon/CorvaneCommon.h"
#include "agentcommon/quiet_appender.h"
#include "platform/environment.h"
#include "platform/file_status.h"
#include "platform/file_write.h"
#include "platform/native_path.h"
#include "platform/open_time_limit.h"

namespace Ardentis {
namespace {

// The default log, used when logconfig.xml is missing or unusable, stays under 4 MiB.
constexpr std::size_t kDefaultMaxFileSize = 1024 * 1024;
constexpr int kDefaultBackups = 3;

// A log file is a regular file: opening a FIFO for writing waits for a reader that may
// never come, a device is no log, and a link would send the lines wherever whoever planted
// it chose. An absent one is made first, for the same reasons.
bool PrepareLogFile(const std::string& path) {
    return platform::PrepareLogFile(platform::FromNativePath(path));
}

// An element's name without the log4j: prefix, which log4cxx accepts as well.
std::string_view LocalName(const pugi::xml_node& node) {
    std::string_view name = node.name();
    if (name.starts_with("log4j:")) name.remove_prefix(6);
    return name;
}

// A param of an appender that names its file, as log4cxx's file appenders take it: File
// or FileName, in any case.
bool NamesAFile(const pugi::xml_node& param) {
    using log4cxx::helpers::StringHelper;
    const char* name = param.attribute("name").value();
    return LocalName(param) == "param" && LocalName(param.parent()) == "appender" &&
           (StringHelper::equalsIgnoreCase(name, "FILE", "file") ||
            StringHelper::equalsIgnoreCase(name, "FILENAME", "filename"));
}

// Whether every file that the configuration's appenders name (with ${...} replaced as
// log4cxx replaces it) is usable. log4cxx opens them while it reads the configuration,
// so they are looked at before; HeldOpenAsChecked looks again after.
bool ConfiguredLogFilesUsable(const std::wstring& config) {
    pugi::xml_document document;
    if (!document.load_file(platform::ToFilesystemPath(config).c_str()))
        return true;  // log4cxx refuses it itself
    for (const auto& found : document.select_nodes("//*")) {
        const pugi::xml_node param = found.node();
        if (!NamesAFile(param)) continue;
        try {
            log4cxx::helpers::Properties none;
            const std::string path = log4cxx::helpers::OptionConverter::substVars(
                param.attribute("value").value(), none);
            if (!PrepareLogFile(path)) return false;
        } catch (const std::exception&) {
            // A malformed ${...}: log4cxx's own complaint, not a file to look at.
        }
    }
    return true;
}

void ConfigureDefaultLog(const std::string& folder) {
    using namespace log4cxx;
    LogManager::resetConfiguration();
    const std::string file = folder + "/CorvaneCommon.log";
    if (!PrepareLogFile(file)) return;  // no log rather than a blocked run
    auto layout = std::make_shared<PatternLayout>(LOG4CXX_STR("%d{ISO8601} %-5p [%c] %m%n"));
    auto appender = std::make_shared<rolling::RollingFileAppender>();
    appender->setLayout(layout);
    appender->setFile(file);
    appender->setAppend(true);
    appender->setMaximumFileSize(kDefaultMaxFileSize);
    appender->setMaxBackupIndex(kDefaultBackups);
    helpers::Pool pool;
    appender->activateOptions(pool);

    auto root = Logger::getRootLogger();
    root->addAppender(appender);
    root->setLevel(Level::getInfo());
}

// Whether every file appender's file is, after log4cxx opened it, the regular file that was
// checked before: a member who swaps a log for a link and back again could otherwise have
// the run write through the link in between.
bool HeldOpenAsChecked() {
    auto loggers = log4cxx::LogManager::getCurrentLoggers();
    loggers.push_back(log4cxx::Logger::getRootLogger());
    for (const auto& logger : loggers)
        for (const auto& appender : logger->getAllAppenders())
            if (const auto file = std::dynamic_pointer_cast<log4cxx::FileAppender>(appender);
                file && !platform::HeldOpenAsRegularFile(platform::FromNativePath(file->getFile())))
                return false;
    return true;
}

// log4cxx calls any well-formed XML "configured", even one that attaches no appender.
bool SomethingIsLogged() {
    if (!log4cxx::Logger::getRootLogger()->getAllAppenders().empty()) return true;
    for (const auto& logger : log4cxx::LogManager::getCurrentLoggers())
        if (!logger->getAllAppenders().empty()) return true;
    return false;
}

}  // namespace

void LoggerFactory::Initialize(const std::wstring& configFile, const std::wstring& logFolder) {
    // The console belongs to the report: log4cxx keeps its own complaints to itself.
    log4cxx::helpers::LogLog::setQuietMode(true);
    // log4cxx decodes file names and messages by the C library's character type, and the
    // classic one loses every non-ASCII byte of an installation path. Only the C library's
    // locale changes: C++ streams and the parameter reader keep the classic one.
    setlocale(LC_CTYPE, "C.UTF-8");

    // The log may name servers and paths: what the run creates is for the agent's
    // owner and group only.
    platform::KeepNewFilesFromOthers();
    const std::string folder = platform::ToNativePath(logFolder);
    std::error_code error;
    std::filesystem::create_directories(platform::ToFilesystemPath(logFolder), error);
    platform::SetEnvironmentValue("CORVANE_LOG_DIR", folder);

    // A FIFO or folder in place of the file must not block or confuse the parser.
    const std::string config = platform::ToNativePath(configFile);
    auto status = log4cxx::spi::ConfigurationStatus::NotConfigured;
    // The configuration names the files the run writes and the text it writes there: it
    // is taken only from a file that no one but root and the run's own user may change.
    const bool trusted = platform::OnlyOwnerMayChange(configFile);
    {
        // A member who swaps a log for a FIFO after it was looked at must not hold the
        // run: log4cxx opens by name and would wait for a reader.
        const platform::OpenTimeLimit limit;
        if (trusted && ConfiguredLogFilesUsable(configFile))
            status = log4cxx::xml::DOMConfigurator::configure(config);
        if (status == log4cxx::spi::ConfigurationStatus::Configured && !SomethingIsLogged())
            status = log4cxx::spi::ConfigurationStatus::NotConfigured;
        if (status == log4cxx::spi::ConfigurationStatus::Configured && !HeldOpenAsChecked())
            status = log4cxx::spi::ConfigurationStatus::NotConfigured;
        if (status != log4cxx::spi::ConfigurationStatus::Configured) {
            ConfigureDefaultLog(folder);
            // The default log's file swapped too: no log rather than one written through a
            // link.
            if (!HeldOpenAsChecked()) log4cxx::LogManager::resetConfiguration();
        }
    }
    QuietenAppenders();

    const auto log = log4cxx::Logger::getLogger("Ardentis.Logging");
    LOG4CXX_INFO(log, "Logging started, configuration "
                          << (status == log4cxx::spi::ConfigurationStatus::Configured
                                  ? platform::DisplayPath(configFile)
                                  : "default"));
    if (!trusted && platform::PathTaken(configFile))
        LOG4CXX_WARN(log, platform::DisplayPath(configFile)
                              << " is not used: it must be a regular file that only its "
                                 "owner, root or the user of the run, may write");
}

LoggerFactory* GetLoggerFactory() {
    static LoggerFactory factory;
    return &factory;
}

}  // namespace Ardentis
