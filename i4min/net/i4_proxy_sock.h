// A connection through a proxy; its handshake runs inside wait(). Used by one thread at a
// time like any socket (cancel() from any thread).
#pragma once
#include <cstdint>

#include "i4min/net/i4_tcpip_sock.h"

class i4_tcpip_address;

class i4_proxy_sock : public i4_tcpip_sock {
public:
    enum State {
        HTTP_SEND = 0,
        HTTP_REPLY = 2,
        SOCKS4_SEND = 3,
        SOCKS4_REPLY = 4,
        SOCKS5_GREETING = 6,
        SOCKS5_METHOD = 7,
        SOCKS5_AUTH_REPLY = 8,
        SOCKS5_REQUEST = 9,
        SOCKS5_REPLY = 10,
        FAILED = 13,
        CONNECTED = 14
    };

    // Takes over the descriptor of plain (connected or connecting to the proxy) and deletes it.
    // The target and the credentials are copied.
    i4_proxy_sock(i4_tcpip_sock* plain, int start_state, const i4_tcpip_address& target,
                  const char* user, const char* password);
    ~i4_proxy_sock() override;

    // Nothing moves until the handshake has succeeded.
    int32_t read(void* buf, int32_t n) override;
    int32_t write(const void* buf, int32_t n) override;
    // Runs the handshake within ms (below 1: no limit), then waits as a plain socket.
    // A failed handshake answers only the error flag (when asked for).
    int wait(int flags, int32_t ms) override;

    int state() const { return st; }
    bool connected() const { return st == CONNECTED; }
    // The target as the proxy last reported it.
    const i4_tcpip_address& target_address() const { return *target; }

private:
    int st;
    i4_tcpip_address* target;
    char* user;
    char* password;
    int64_t deadline;  // -1: no limit

    int32_t time_left() const;
    bool step_wait(int flag);
    bool send_all(const uint8_t* data, int32_t n);
    bool read_exact(uint8_t* buf, int32_t n);
    bool run_step();
    bool http_send();
    bool http_reply();
    bool socks4_send();
    bool socks4_reply();
    bool socks5_greeting();
    bool socks5_method();
    bool socks5_auth_reply();
    bool socks5_request();
    bool socks5_reply();
};
