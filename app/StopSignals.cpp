#include "app/StopSignals.h"

#include <atomic>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include "i4min/threads/linux/i4_thread.h"
#include "ui/Servant.h"

namespace {

std::atomic<int> lastSignal{0};
std::atomic<bool> inputEnded{false};
// Set while the main thread is poked only to leave a blocked read.
std::atomic<bool> wakeOnly{false};
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

void StopSignals::install() {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = handle;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: the main thread's blocked read of its input must return.
    sa.sa_flags = 0;
    for (int s : kSignals) sigaction(s, &sa, nullptr);
}

int StopSignals::received() {
    return lastSignal.load();
}

// Only async-signal-safe steps: atomics, open, dup2, close, pthread_kill.
void StopSignals::endInput() {
    // A read that starts after this finds the end of the input at once; one
    // already blocked is cut short by the signal on the main thread.
    if (!inputEnded.exchange(true)) {
        int none = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (none >= 0) {
            dup2(none, 0);
            close(none);
        }
    }
}

void StopSignals::handle(int signal) {
    int saved = errno;
    if (wakeOnly.exchange(false)) {
        errno = saved;
        return;
    }
    lastSignal = signal;
    if (theServant) theServant->stopRunning();
    endInput();
    pthread_t main = (pthread_t)i4_get_main_thread();
    if (!pthread_equal(pthread_self(), main)) pthread_kill(main, signal);
    errno = saved;
}

void StopSignals::wakeMainThread() {
    int saved = errno;
    endInput();
    pthread_t main = (pthread_t)i4_get_main_thread();
    if (!pthread_equal(pthread_self(), main)) {
        wakeOnly = true;
        pthread_kill(main, SIGHUP);
    }
    errno = saved;
}
