#include "communication/connection_log.h"

namespace Ardentis {

log4cxx::LoggerPtr ConnectionLog() {
    return log4cxx::Logger::getLogger("Ardentis.Connection");
}

void WriteLog(const LogLine& line) {
    const auto log = ConnectionLog();
    switch (line.level) {
        case LogLine::Level::Info:
            LOG4CXX_INFO(log, line.text);
            break;
        case LogLine::Level::Warn:
            LOG4CXX_WARN(log, line.text);
            break;
        case LogLine::Level::Error:
            LOG4CXX_ERROR(log, line.text);
            break;
    }
}

void WriteLog(const std::vector<LogLine>& lines) {
    for (const LogLine& line : lines) WriteLog(line);
}

}  // namespace Ardentis
