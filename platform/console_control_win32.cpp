#include "platform/console_control.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace platform {
namespace {

// How long exit processing may take before the watchdog ends the process anyway.
constexpr DWORD kExitGraceMs = 500;

// Read by the system's event threads, written once by the main thread.
std::atomic<ConsoleCtrlHandlerFn> g_handler{nullptr};
HANDLE g_mainThread = nullptr;
DWORD g_mainThreadId = 0;

// Set by ExitFromHandler: the exit under way and its status.
std::atomic<bool> g_exitStarted{false};
std::atomic<int> g_exitStatus{0};

BOOL WINAPI Trampoline(DWORD ctrlType) {
    const ConsoleCtrlHandlerFn handler = g_handler.load();
    return handler && handler(ctrlType) ? TRUE : FALSE;
}

DWORD WINAPI Watchdog(LPVOID) {
    Sleep(kExitGraceMs);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_exitStatus.load()));
    return 0;
}

// The last of the program's exit handlers (registered first, so run last). ExitProcess,
// which exit calls next, would end every other thread, the watchdog included, and then
// run the DLLs' detach code (log4cxx, APR, OpenSSL): a lock that the stopped main
// thread holds would hang it with nothing left to end it. The run's output has been
// flushed line by line and the log writes through, so the process ends here instead.
void EndBeforeLibrariesDetach() {
    if (g_exitStarted.load())
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_exitStatus.load()));
}

}  // namespace

void AddConsoleCtrlHandler(ConsoleCtrlHandlerFn handler) {
    g_mainThreadId = GetCurrentThreadId();
    g_mainThread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, g_mainThreadId);
    std::atexit(EndBeforeLibrariesDetach);
    g_handler.store(handler);
    SetConsoleCtrlHandler(Trampoline, TRUE);
}

void ClearUnhandledExceptionFilter() {
    SetUnhandledExceptionFilter(nullptr);
}

void ExitFromHandler(int status) {
    // The main thread stops where it is, as on POSIX: it prints nothing more and cannot
    // touch what exit tears down. GetThreadContext returns once the suspension holds.
    if (g_mainThread && GetCurrentThreadId() != g_mainThreadId &&
        SuspendThread(g_mainThread) != static_cast<DWORD>(-1)) {
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_CONTROL;
        GetThreadContext(g_mainThread, &context);
    }
    g_exitStatus.store(status);
    g_exitStarted.store(true);
    // Exit processing that waits for a lock the main thread holds is ended by this.
    const HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
    if (watchdog) CloseHandle(watchdog);
    std::exit(status);
}

void AwaitExitUnderWay() {
    // The exit ends the process within the grace period, this thread with it.
    for (;;) Sleep(INFINITE);
}

}  // namespace platform
