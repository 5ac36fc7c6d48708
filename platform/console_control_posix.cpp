#include "platform/console_control.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <thread>

namespace platform {
namespace {

constexpr int kEventSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// How long exit processing may take before the watchdog ends the process anyway.
constexpr auto kExitGrace = std::chrono::milliseconds(500);

pthread_t g_mainThread;
std::atomic<bool> g_mainParked{false};

sigset_t EventSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEventSignals) sigaddset(&set, sig);
    return set;
}

// The signal that parks the main thread while another thread runs exit.
int ParkSignal() {
    return SIGRTMIN;
}

void Park(int) {
    g_mainParked.store(true);
    for (;;) pause();
}

// Turns each event signal into a call of the handler on a fresh thread, as a console
// delivers control events.
void DispatchEvents(ConsoleCtrlHandlerFn handler) {
    const sigset_t set = EventSignals();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        std::thread([handler, sig] { handler(static_cast<unsigned long>(sig)); }).detach();
    }
}

}  // namespace

void AddConsoleCtrlHandler(ConsoleCtrlHandlerFn handler) {
    g_mainThread = pthread_self();

    // A report written to a closed standard output must not kill the run.
    signal(SIGPIPE, SIG_IGN);

    struct sigaction park = {};
    park.sa_handler = Park;
    sigfillset(&park.sa_mask);
    sigaction(ParkSignal(), &park, nullptr);

    const sigset_t set = EventSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(DispatchEvents, handler).detach();
}

void ClearUnhandledExceptionFilter() {
    std::set_terminate(nullptr);
}

void ExitFromHandler(int status) {
    if (!pthread_equal(pthread_self(), g_mainThread) &&
        pthread_kill(g_mainThread, ParkSignal()) == 0) {
        for (int i = 0; i < 100 && !g_mainParked.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::thread([status] {
        std::this_thread::sleep_for(kExitGrace);
        _exit(status);
    }).detach();
    std::exit(status);
}

void AwaitExitUnderWay() {}

}  // namespace platform
