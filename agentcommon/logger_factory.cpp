#include <log4cxx/helpers/loglog.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/patternlayout.h>
#include <log4cxx/rolling/rollingfileappender.h>
#include <log4cxx/xml/domconfigurator.h>
#include <clocale>

#include <filesystem>
#include <system_error>

#include "agentcommon/CorvaneCommon.h"
#include "platform/environment.h"
#include "platform/native_path.h"

namespace Ardentis {
namespace {

// The default log, used when logconfig.xml is missing or unusable, stays under 4 MiB.
constexpr std::size_t kDefaultMaxFileSize = 1024 * 1024;
constexpr int kDefaultBackups = 3;

void ConfigureDefaultLog(const std::string& folder) {
    using namespace log4cxx;
    auto layout = std::make_shared<PatternLayout>(LOG4CXX_STR("%d{ISO8601} %-5p [%c] %m%n"));
    auto appender = std::make_shared<rolling::RollingFileAppender>();
    appender->setLayout(layout);
    appender->setFile(folder + "/CorvaneCommon.log");
    appender->setAppend(true);
    appender->setMaximumFileSize(kDefaultMaxFileSize);
    appender->setMaxBackupIndex(kDefaultBackups);
    helpers::Pool pool;
    appender->activateOptions(pool);

    LogManager::resetConfiguration();
    auto root = Logger::getRootLogger();
    root->addAppender(appender);
    root->setLevel(Level::getInfo());
}

// log4cxx calls any well-formed XML "configured", even one that attaches no appender.
bool SomethingIsLogged() {
    if (!log4cxx::Logger::getRootLogger()->getAllAppenders().empty()) return true;
    for (const auto& logger : log4cxx::LogManager::getCurrentLoggers())
        if (!logger->getAllAppenders().empty()) return true;
    return false;
}

bool IsRegularFile(const std::wstring& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(platform::ToFilesystemPath(path), error);
}

}  // namespace

void LoggerFactory::Initialize(const std::wstring& configFile, const std::wstring& logFolder) {
    // The console belongs to the report: log4cxx keeps its own complaints to itself.
    log4cxx::helpers::LogLog::setQuietMode(true);
    // log4cxx decodes file names and messages by the C library's character type, and the
    // classic one loses every non-ASCII byte of an installation path. Only the C library's
    // locale changes: C++ streams and the parameter reader keep the classic one.
    setlocale(LC_CTYPE, "C.UTF-8");

    const std::string folder = platform::ToNativePath(logFolder);
    std::error_code error;
    std::filesystem::create_directories(platform::ToFilesystemPath(logFolder), error);
    platform::SetEnvironmentValue("CORVANE_LOG_DIR", folder);

    // A FIFO or folder in place of the file must not block or confuse the parser.
    const std::string config = platform::ToNativePath(configFile);
    auto status = log4cxx::spi::ConfigurationStatus::NotConfigured;
    if (IsRegularFile(configFile)) status = log4cxx::xml::DOMConfigurator::configure(config);
    if (status == log4cxx::spi::ConfigurationStatus::Configured && !SomethingIsLogged())
        status = log4cxx::spi::ConfigurationStatus::NotConfigured;
    if (status != log4cxx::spi::ConfigurationStatus::Configured) ConfigureDefaultLog(folder);

    LOG4CXX_INFO(
        log4cxx::Logger::getLogger("Ardentis.Logging"),
        "Logging started, configuration "
            << (status == log4cxx::spi::ConfigurationStatus::Configured ? config : "default"));
}

LoggerFactory* GetLoggerFactory() {
    static LoggerFactory factory;
    return &factory;
}

}  // namespace Ardentis
