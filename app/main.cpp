// The process entry: ACE's portable main around the run. On Linux ACE_TMAIN is main; on
// Windows the same source becomes wmain, an ACE_Main object and ace_os_wmain_i.
#include <ace/OS_main.h>

#include <exception>
#include <iostream>

#include "app/console_ctrl_handler.h"
#include "app/exit_status.h"
#include "app/program_main.h"
#include "platform/console_control.h"
#include "platform/library_search.h"

int ACE_TMAIN(int argc, ACE_TCHAR* argv[]) {
    // Before anything loads a library (the agent's module): only from our own folder
    // and the system's.
    platform::RestrictLibrarySearch();

    // First of all: a console event that arrives from here on ends the run through the
    // handler (-1), never with the signal's own default status. On POSIX the events are
    // blocked right here and wait, pending, for the handler's thread.
    platform::AddConsoleCtrlHandler(corvane::ConsoleCtrlHandler);

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
