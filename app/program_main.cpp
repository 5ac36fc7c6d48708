#include "app/program_main.h"

#include <ace/Init_ACE.h>

#include <iostream>

#include "agentcommon/CorvaneCommon.h"
#include "app/command_line.h"
#include "app/exit_status.h"
#include "check/ping_report.h"
#include "check/run_ping.h"
#include "install/install_keys.h"
#include "install/install_parameters.h"
#include "platform/process_paths.h"
#include "platform/run_identity.h"

namespace corvane {

int ProgramMain(int argc, ACE_TCHAR* argv[]) {
    ACE::init();  // the entry has registered the console control handler already

    CommandLine commandLine;
    if (!commandLine.Parse(argc, argv)) return kCommandLineStop;

    // A failure leaves the run in the directory it started in.
    (void)platform::SetWorkingDirectory(Ardentis::GetBinPath());

    const std::wstring logFolder = Ardentis::GetLogPath();
    // Run by root, the check works as the account that owns the log folder, before it
    // touches a file that the agent's group may write.
    if (const auto dropped = platform::GiveUpRootForOwnerOf(logFolder); !dropped) {
        std::cerr << "CorvanePing cannot give up root's rights for the owner of the agent's "
                     "log folder: "
                  << dropped.Error().reason << std::endl;
        return kUnexpectedError;
    }
    const std::wstring logConfig = Ardentis::GetConfigPath() + L"/logconfig.xml";
    Ardentis::GetLoggerFactory()->Initialize(logConfig, logFolder);

    InstallParameters parameters;
    if (LoadInstallParameters(parameters) == 0) {
        std::cerr << "Could not find the config/install_config.txt file - that is really not a "
                     "good thing..."
                  << std::endl;
        return kNoInstallParameters;
    }
    for (const InstallKey& key : kInstallKeys) {
        if (key.required && !FindInstallParameter(parameters, std::string(key.name))) {
            std::cout << "There is no " << key.name
                      << " specified; that is either a mistake or this machine is in stand-alone "
                         "mode."
                      << std::endl;
            return kMissingRequiredKey;
        }
    }

    PingSession session;  // outlives the report; released in reverse order of creation
    const PingResult ping = RunPing(session);
    if (!ping.outcome) {
        std::cout << "Could not bring up " << ping.unavailable
                  << " of the agent's common library; the agent's log says why." << std::endl;
        return kServiceUnavailable;
    }
    PrintPingReport(parameters, *ping.outcome);
    return kReportPrinted;
}

}  // namespace corvane
