// A socket as a file. One thread uses a socket at a time; only cancel() may come from another
// thread while the owner blocks in accept or wait.
#pragma once
#include <cstdint>

#include "i4min/file/i4_file.h"

class i4_address;
class i4_socket_set;

// Ready flags of every wait and readiness set.
enum { I4_READY_READ = 1, I4_READY_WRITE = 2, I4_READY_ERROR = 4 };

// Socket types.
enum { I4_SOCK_DGRAM = 0, I4_SOCK_STREAM = 1 };

class i4_socket : public i4_file {
public:
    int64_t seek(int64_t) override { return 0; }
    int64_t size() override { return 0; }
    int64_t tell() override { return 0; }

    // 1 with a new socket in *out, 0 when nothing was accepted.
    virtual int accept(i4_socket** out) = 0;
    // Datagrams. *sender, when asked for and something arrived, is the caller's to delete.
    virtual int32_t read_from(void* buf, int32_t n, i4_address** sender) = 0;
    virtual int32_t write_to(const void* buf, int32_t n, const i4_address* to) = 0;
    // Waits up to ms (negative: no limit) for the flags; returns the ready flags, 0 on time-out.
    virtual int wait(int flags, int32_t ms) = 0;
    virtual void add_to_set(i4_socket_set* set, int flags) = 0;
    virtual void remove_from_set(i4_socket_set* set) = 0;
    virtual int check_set(i4_socket_set* set, int flags) = 0;
    // Wakes a thread blocked on this socket and makes every later call fail. 1 when it acted.
    virtual int cancel() = 0;
    virtual void set_blocking(int on) = 0;
    // New addresses the caller deletes; remote_address is null when not connected.
    virtual i4_address* local_address() = 0;
    virtual i4_address* remote_address() = 0;
};
