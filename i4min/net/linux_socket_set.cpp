#include "i4min/net/linux_socket_set.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

linux_socket_set::linux_socket_set()
    : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), wakePending(false) {
    // Without an eventfd (descriptors used up) the set still works; waits then end only by
    // their time-out.
    pollfd w;
    w.fd = wakeFd;
    w.events = POLLIN;
    w.revents = 0;
    entries.push_back(w);
}

linux_socket_set::~linux_socket_set() {
    if (wakeFd >= 0) close(wakeFd);
}

int linux_socket_set::wait(int32_t ms) {
    for (pollfd& p : entries) p.revents = 0;
    int r = poll(entries.data(), static_cast<nfds_t>(entries.size()), ms);
    if (r < 0 && errno == EINTR) return 0;  // a cancel's signal: the pool simply passes again
    if (r > 0 && (entries[0].revents & POLLIN)) {
        // Cleared before the count is read: a wake that comes in between then either lands
        // in this read, with its work already in sight of the pass that follows, or ends the
        // next wait.
        wakePending.store(false);
        uint64_t n;
        ssize_t got = read(wakeFd, &n, sizeof n);
        (void)got;
        r--;
    }
    return r;
}

void linux_socket_set::wake() {
    if (wakeFd < 0 || wakePending.exchange(true)) return;
    uint64_t one = 1;
    ssize_t put = write(wakeFd, &one, sizeof one);
    (void)put;
}

void linux_socket_set::add(int fd, short events) {
    if (fd < 0) return;
    if (static_cast<size_t>(fd) >= slotOf.size())
        slotOf.resize(static_cast<size_t>(fd) * 2 + 16, 0);
    int& slot = slotOf[static_cast<size_t>(fd)];
    if (slot) {
        entries[static_cast<size_t>(slot)].events = events;
        return;
    }
    pollfd p;
    p.fd = fd;
    p.events = events;
    p.revents = 0;
    slot = static_cast<int>(entries.size());
    entries.push_back(p);
}

void linux_socket_set::remove(int fd) {
    if (fd < 0 || static_cast<size_t>(fd) >= slotOf.size()) return;
    int slot = slotOf[static_cast<size_t>(fd)];
    if (!slot) return;
    // The last member takes the hole, so a removal costs the same however big the set.
    pollfd moved = entries.back();
    entries.pop_back();
    if (static_cast<size_t>(slot) < entries.size()) {
        entries[static_cast<size_t>(slot)] = moved;
        slotOf[static_cast<size_t>(moved.fd)] = slot;
    }
    slotOf[static_cast<size_t>(fd)] = 0;
}

bool linux_socket_set::returned(int fd, short* events) const {
    if (fd < 0 || static_cast<size_t>(fd) >= slotOf.size()) return false;
    int slot = slotOf[static_cast<size_t>(fd)];
    if (!slot) return false;
    *events = entries[static_cast<size_t>(slot)].revents;
    return true;
}
