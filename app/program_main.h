// The run: one pass from the command line to the report.
#pragma once

#include <ace/ace_wchar.h>

namespace corvane {

// Returns the process exit status (see exit_status.h). The entry registers the console
// control handler before it calls this.
int ProgramMain(int argc, ACE_TCHAR* argv[]);

}  // namespace corvane
