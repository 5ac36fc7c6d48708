// Console control events (Ctrl+C, Ctrl+Break, console closed, logoff, shutdown) and the
// process exit that a handler makes. On POSIX the events are SIGINT, SIGTERM, SIGHUP
// and SIGQUIT.
#pragma once

namespace platform {

// Returns true when it handled the event. Runs on a thread of its own for every
// event, concurrently with the main thread and with earlier events.
using ConsoleCtrlHandlerFn = bool (*)(unsigned long ctrlType);

// Adds handler for every later console control event. Call it once, from the main
// thread, before any other thread is started: on POSIX it blocks the event signals in
// the calling thread so that threads started afterwards inherit the mask.
void AddConsoleCtrlHandler(ConsoleCtrlHandlerFn handler);

// Leaves the process without an unhandled-exception filter (on POSIX: the default
// terminate handler).
void ClearUnhandledExceptionFilter();

// Ends the process with status through the C runtime's exit, from a handler thread
// while the main thread may be anywhere. The main thread is stopped first so that it
// cannot touch what exit tears down, and a watchdog ends the process with the same
// status should exit processing stall for half a second. On Windows the process ends
// before the DLLs' detach code runs (no thread would be left to watch it).
[[noreturn]] void ExitFromHandler(int status);

// For an event that arrives while an exit is under way. On Windows it waits for that
// exit to end the process: returning from a close, logoff or shutdown event would let
// the system end the process at once, with a status of its own. On POSIX it returns.
void AwaitExitUnderWay();

}  // namespace platform
