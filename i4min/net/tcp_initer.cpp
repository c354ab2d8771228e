#include "i4min/net/tcp_initer.h"

#include <csignal>
#include <cstring>
#include <mutex>

namespace {

// Only interrupts the blocked system call: no lock, no close, nothing that is unsafe in a
// handler. The canceller has already shut the socket down.
extern "C" void i4_alarm_handler(int) {}

tcp_initer the_tcp_initer;

}  // namespace

void i4_install_alarm_handler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_handler = i4_alarm_handler;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: the interrupted call must return
        sigaction(SIGALRM, &sa, nullptr);
    });
}

void tcp_initer::init() {
    i4_install_alarm_handler();
}
