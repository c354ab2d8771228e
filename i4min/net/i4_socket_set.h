// Readiness set: filled, waited on and read by one thread (the socket pool's).
#pragma once
#include <cstdint>

class i4_socket_set {
public:
    // Count of ready members, 0 on time-out, -1 on error.
    virtual int wait(int32_t ms) = 0;
    virtual ~i4_socket_set();
};
