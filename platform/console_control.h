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
// while the main thread may be anywhere. On POSIX the main thread is parked first so
// that it cannot touch what exit tears down, and a watchdog ends the process with the
// same status should exit processing stall.
[[noreturn]] void ExitFromHandler(int status);

}  // namespace platform
