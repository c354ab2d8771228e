// Readiness set over poll. One thread only (the socket pool's); no lock.
#pragma once
#include <cstdint>
#include <poll.h>
#include <vector>

#include "i4min/net/i4_socket_set.h"

class linux_socket_set : public i4_socket_set {
public:
    int wait(int32_t ms) override;

    void add(int fd, short events);
    void remove(int fd);
    // The returned events of fd; false when fd is not a member.
    bool returned(int fd, short* events) const;
    int count() const { return static_cast<int>(entries.size()); }

private:
    std::vector<pollfd> entries;
};
