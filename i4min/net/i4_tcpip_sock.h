// IPv4 socket. Used by one thread at a time; cancel() may come from any thread. The mutex
// guards the blocked-thread record and the cancelled flag; the descriptor is closed only by
// the destructor, so a cancelled descriptor is never reused while a call may still touch it.
#pragma once
#include <atomic>
#include <cstdint>
#include <netinet/in.h>
#include <pthread.h>

#include "i4min/net/i4_socket.h"
#include "i4min/threads/linux/i4_mutex.h"

class i4_tcpip_sock : public i4_socket {
public:
    // A new socket of the type (I4_SOCK_STREAM, anything else a datagram socket).
    explicit i4_tcpip_sock(int type);
    // Takes over an existing descriptor (an accepted connection).
    i4_tcpip_sock(int fd, int type);
    i4_tcpip_sock(const i4_tcpip_sock&) = delete;
    i4_tcpip_sock& operator=(const i4_tcpip_sock&) = delete;
    ~i4_tcpip_sock() override;

    // Bytes moved; 0 when nothing can move now; -1 when the peer closed or the socket broke.
    int32_t read(void* buf, int32_t n) override;
    int32_t write(const void* buf, int32_t n) override;

    int accept(i4_socket** out) override;
    int32_t read_from(void* buf, int32_t n, i4_address** sender) override;
    int32_t write_to(const void* buf, int32_t n, const i4_address* to) override;
    int wait(int flags, int32_t ms) override;
    void add_to_set(i4_socket_set* set, int flags) override;
    void remove_from_set(i4_socket_set* set) override;
    // The asked flags that are ready, plus the error flag whenever the socket has failed
    // (poll reports failure whatever was asked, so hiding it would spin the caller).
    int check_set(i4_socket_set* set, int flags) override;
    int cancel() override;
    void set_blocking(int on) override;
    i4_address* local_address() override;
    i4_address* remote_address() override;

    int creation_failed() const { return create_failed; }
    int descriptor() const { return fd; }
    int type() const { return sock_type; }
    bool cancelled() const { return is_cancelled.load(); }

    // Starts a connect and waits at most ms (below 1: no limit) until it stands without error.
    // Leaves the socket in non-blocking mode. 1 when connected.
    int connect_within(const sockaddr_in& to, int32_t ms);
    // Starts a connect without waiting for it.
    void connect_start(const sockaddr_in& to);

    // Ready flags of poll events: a hang-up without data, or a dead descriptor, is an error.
    static int flags_from_events(short revents);
    static short events_from_flags(int flags);

    // Hands the descriptor to another socket object; this one no longer closes it.
    int take_descriptor();

protected:
    // One poll of this socket that cancel() can interrupt. 1 ready (*revents set), 0 time-out,
    // -1 poll error, -2 cancelled.
    int poll_cancellable(short events, int32_t ms, short* revents);

private:
    i4_mutex m;
    int fd;
    std::atomic<bool> is_cancelled;
    bool blocked;
    pthread_t blocked_thread;
    int sock_type;
    bool create_failed;

    bool enter_blocking_call();
    void leave_blocking_call();
};
