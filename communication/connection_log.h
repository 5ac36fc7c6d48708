// The connection's log, Ardentis.Connection. What a ping has to say is made as plain lines
// first (so that it can be tested without a log) and written here.
#pragma once

#include <log4cxx/logger.h>

#include <string>
#include <vector>

namespace Ardentis {

struct LogLine {
    enum class Level { Info, Warn, Error };
    Level level = Level::Info;
    std::string text;

    bool operator==(const LogLine&) const = default;
};

log4cxx::LoggerPtr ConnectionLog();

void WriteLog(const LogLine& line);
void WriteLog(const std::vector<LogLine>& lines);

}  // namespace Ardentis
