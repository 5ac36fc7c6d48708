#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/open_time_limit.h"

namespace platform {

// A timer aimed at this thread alone raises SIGALRM every half second. Its handler does
// nothing and asks for no restart, so a waiting open returns EINTR, which the library
// reports as a failed open.
struct OpenTimeLimit::State {
    struct sigaction previous = {};
    sigset_t previousMask = {};
    timer_t timer = {};
    bool armed = false;
};

namespace {
void Interrupt(int) {}
}  // namespace

OpenTimeLimit::OpenTimeLimit() : state_(std::make_unique<State>()) {
    struct sigaction action = {};
    action.sa_handler = Interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, &state_->previous);
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_UNBLOCK, &alarm, &state_->previousMask);

    struct sigevent event = {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGALRM;
    event._sigev_un._tid = static_cast<pid_t>(syscall(SYS_gettid));
    if (timer_create(CLOCK_MONOTONIC, &event, &state_->timer) != 0) return;
    state_->armed = true;
    const struct itimerspec every = {{0, 500'000'000}, {0, 500'000'000}};
    timer_settime(state_->timer, 0, &every, nullptr);
}

OpenTimeLimit::~OpenTimeLimit() {
    if (state_->armed) timer_delete(state_->timer);
    pthread_sigmask(SIG_SETMASK, &state_->previousMask, nullptr);
    sigaction(SIGALRM, &state_->previous, nullptr);
}

}  // namespace platform
