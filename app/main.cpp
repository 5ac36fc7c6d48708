// The process entry: ACE's portable main around the run. On Linux ACE_TMAIN is main; on
// Windows the same source becomes wmain, an ACE_Main object and ace_os_wmain_i.
#include <ace/OS_main.h>

#include <exception>
#include <iostream>

#include "app/exit_status.h"
#include "app/program_main.h"

int ACE_TMAIN(int argc, ACE_TCHAR* argv[]) {
    // An error that escapes the run (from the agent's library or an allocation) ends it
    // with one line and a status of its own instead of an abort and a core dump.
    try {
        return corvane::ProgramMain(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "CorvanePing stopped on an unexpected error: " << error.what() << std::endl;
    } catch (...) {
        std::cerr << "CorvanePing stopped on an unexpected error." << std::endl;
    }
    return corvane::kUnexpectedError;
}
