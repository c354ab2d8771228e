#include "i4min/net/linux_socket_set.h"

#include <cerrno>
#include <cstddef>

int linux_socket_set::wait(int32_t ms) {
    for (pollfd& p : entries) p.revents = 0;
    int r = poll(entries.data(), static_cast<nfds_t>(entries.size()), ms);
    if (r < 0 && errno == EINTR) return 0;  // a cancel's signal: the pool simply passes again
    return r;
}

void linux_socket_set::add(int fd, short events) {
    if (entries.size() == entries.capacity()) entries.reserve(entries.capacity() + 32);
    pollfd p;
    p.fd = fd;
    p.events = events;
    p.revents = 0;
    entries.push_back(p);
}

void linux_socket_set::remove(int fd) {
    for (size_t i = 0; i < entries.size(); i++) {
        if (entries[i].fd == fd) {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

bool linux_socket_set::returned(int fd, short* events) const {
    for (const pollfd& p : entries) {
        if (p.fd == fd) {
            *events = p.revents;
            return true;
        }
    }
    return false;
}
