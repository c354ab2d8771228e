// Readiness set over poll. One thread fills, waits on and reads it (the socket pool's); wake may
// come from any thread (an atomic flag and an eventfd).
#pragma once
#include <atomic>
#include <cstdint>
#include <poll.h>
#include <vector>

#include "i4min/net/i4_socket_set.h"

// Finds a member's entry in constant time (an index by descriptor) and grows geometrically,
// so that a pass over thousands of sockets stays linear. An eventfd in the poll set lets any
// thread end a wait.
class linux_socket_set : public i4_socket_set {
public:
    linux_socket_set();
    ~linux_socket_set() override;
    linux_socket_set(const linux_socket_set&) = delete;
    linux_socket_set& operator=(const linux_socket_set&) = delete;

    int wait(int32_t ms) override;
    void wake() override;

    // A descriptor already present gets the new events; a negative one is ignored.
    void add(int fd, short events);
    void remove(int fd);
    // The returned events of fd; false when fd is not a member.
    bool returned(int fd, short* events) const;
    int count() const { return static_cast<int>(entries.size()) - 1; }

private:
    // entries[0] is the wake descriptor; the members follow in no particular order.
    std::vector<pollfd> entries;
    // The index in entries of each descriptor, 0 when it is not a member.
    std::vector<int> slotOf;
    int wakeFd;
    std::atomic<bool> wakePending;
};
