// The command line: it has only --help.
#pragma once

#include <ace/ace_wchar.h>

namespace corvane {

class CommandLine {
  public:
    // True when the run goes on. False when it is to stop: the usage text or the option
    // library's complaint has then been written to standard output.
    bool Parse(int argc, ACE_TCHAR* argv[]);
};

}  // namespace corvane
