// What the program does on Ctrl+C, termination and the closing of its console.
#pragma once

namespace corvane {

// The first event ends the process with exit(-1) whatever the run is doing; events
// that arrive after it are swallowed. Returns true: the event is handled.
bool ConsoleCtrlHandler(unsigned long ctrlType);

}  // namespace corvane
