// InterruptRequest on POSIX: sigaction handlers for SIGINT, SIGTERM and SIGHUP. The handler only
// stores the exit code in a lock-free atomic (async-signal-safe), or calls _exit for a second signal.
// SA_RESTART keeps the serial reader's and the pipes' system calls from failing with EINTR.
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "framework/InterruptRequest.h"

namespace {

std::atomic<int> g_pending{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free atomic");

void OnSignal(int signal) {
    const int code = 128 + signal;
    int none = 0;
    if (!g_pending.compare_exchange_strong(none, code))
        ::_exit(code);
}

}  // namespace

namespace InterruptRequest {

void Install() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int Pending() {
    return g_pending.load();
}

}  // namespace InterruptRequest
