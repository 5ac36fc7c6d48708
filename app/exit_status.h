// The process exit statuses. On Linux -1, -2 and -3 arrive as 255, 254 and 253.
#pragma once

namespace corvane {

enum ExitStatus : int {
    kReportPrinted = 0,         // the ping ran and the report was printed, whatever it says
    kMissingRequiredKey = 1,    // ConfigurationServer or ApplicationToken is not in the file
    kServiceUnavailable = 2,    // the agent's library could not bring up what the ping needs
    kUnexpectedError = 3,       // an error escaped the run (library failure, out of memory)
    kConsoleEvent = -1,         // Ctrl+C, SIGTERM and the like ended the run
    kNoInstallParameters = -2,  // install_config.txt missing, unreadable or without entries
    kCommandLineStop = -3,      // help was printed or the arguments were rejected
};

}  // namespace corvane
