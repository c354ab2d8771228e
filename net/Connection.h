// Core task thread: attach, detach, passes, counters and the budgets. The owner that made a
// connection may use it before handing it to a pool; nothing here has a lock.
#pragma once

#include <cstdint>

#include "i4min/string/i4_string.h"

class SocketPool;
class i4_socket;

// Anything a socket pool drives: owns one socket, is attached to one pool and gets one pass
// of work (doTask) and the elapsed time (tick) per pool pass.
class Connection {
public:
    Connection();
    // Cancels and deletes the socket.
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    virtual void tick(int ms);
    // One pass of input and output; true when it moved anything.
    virtual bool doTask() = 0;
    // Once only, and only with a socket: registers it in the pool's set. 1 when attached.
    virtual int attach(SocketPool* pool);
    // Takes the socket out of the pool's set, then deletes the connection. The pool's alone.
    virtual void detach();
    // A text for the connection list; answers out's text.
    virtual const char* describe(i4_string& out);
    // The ready flags worth waiting for in the next pass; the pool asks before each wait.
    // Write readiness only while something waits to go, or an idle pool would never sleep.
    virtual int readinessWanted();
    // Called by the pool before each wait, on the core task thread.
    virtual void beforeWait();

    // Keeps the socket's entry in the pool's set asking for exactly these flags.
    void setReadiness(int flags);

    bool isAttached() const { return !notAttached; }
    SocketPool* getPool() const { return pool; }
    i4_socket* getSocket() const { return sock; }
    // Hands over a socket before attach; the connection owns it from here.
    void setSocket(i4_socket* s) { sock = s; }
    int64_t periodSent() const { return bytesSent; }
    int64_t periodReceived() const { return bytesReceived; }

    // What all sockets together may still read and write in the current pool pass. Set by the
    // pool at every ready pass; steps take off what they move, never below 0.
    static int32_t receiveBudget;
    static int32_t sendBudget;
    enum { UNLIMITED_BUDGET = 0x0fffffff };
    static void chargeReceive(int32_t n);
    static void chargeSend(int32_t n);

protected:
    bool notAttached;
    SocketPool* pool;
    i4_socket* sock;
    // Bytes of the current sample period; 64-bit, as a fast period may pass 2 GiB.
    int64_t bytesSent;
    int64_t bytesReceived;
    int registered;  // flags the socket's set entry asks for; 0 when it has none
};
