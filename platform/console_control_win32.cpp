#include "platform/console_control.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace platform {
namespace {

// Read by the system's event threads, written once by the main thread.
std::atomic<ConsoleCtrlHandlerFn> g_handler{nullptr};

BOOL WINAPI Trampoline(DWORD ctrlType) {
    const ConsoleCtrlHandlerFn handler = g_handler.load();
    return handler && handler(ctrlType) ? TRUE : FALSE;
}

}  // namespace

void AddConsoleCtrlHandler(ConsoleCtrlHandlerFn handler) {
    g_handler.store(handler);
    SetConsoleCtrlHandler(Trampoline, TRUE);
}

void ClearUnhandledExceptionFilter() {
    SetUnhandledExceptionFilter(nullptr);
}

void ExitFromHandler(int status) {
    std::exit(status);
}

}  // namespace platform
