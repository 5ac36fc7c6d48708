#include "app/console_ctrl_handler.h"

#include <atomic>

#include "app/exit_status.h"
#include "platform/console_control.h"

namespace corvane {
namespace {

// Set by the first event; one atomic step, so two events at once cannot both exit.
std::atomic<bool> g_exiting{false};

}  // namespace

bool ConsoleCtrlHandler(unsigned long /*ctrlType*/) {
    if (g_exiting.exchange(true)) {
        platform::AwaitExitUnderWay();
        return true;
    }
    platform::ClearUnhandledExceptionFilter();
    platform::ExitFromHandler(kConsoleEvent);
}

}  // namespace corvane
