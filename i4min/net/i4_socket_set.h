// Readiness set: filled, waited on and read by one thread (the socket pool's); wake may come
// from any thread.
#pragma once
#include <cstdint>

class i4_socket_set {
public:
    // Count of ready members, 0 on time-out or when woken, -1 on error.
    virtual int wait(int32_t ms) = 0;
    // Ends a wait in progress at once, or the next one when none is: a posted message, a
    // connection handed over or a stop request must not wait out the time-out. A set that
    // cannot be woken does nothing.
    virtual void wake();
    virtual ~i4_socket_set();
};
