// Runs its steps on a connect thread of its own; the one HTTP source that made it calls
// takeSocket, hasFailed and cancel on the core task thread. The hand-off lock guards the
// socket slot, the socket being connected and the failed flag.
//
// Connects to one host and port (its own copies), retrying with a growing pause a bounded
// number of times. The source owns the object: cancel cuts a connect or a pause short and
// waits only for that, so the source may delete it at once and no quit waits on it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "core/Thread.h"

class i4_socket;
class i4_tcpip_sock;

class HttpSocketConnectThread : public Thread {
public:
    enum { ATTEMPTS = 4, CONNECT_LIMIT_MS = 8000, FIRST_PAUSE_MS = 1000 };

    HttpSocketConnectThread(const char* host, int port);
    ~HttpSocketConnectThread() override;

    void run() override;
    void wake() override;

    // The connected socket, non-blocking, once there is one: the caller's from then on.
    i4_socket* takeSocket();
    // Every attempt failed; the thread has ended.
    bool hasFailed();
    // Ends the thread; returns once it has ended. A socket it made is closed.
    void cancel();
    // The client quits (main thread, the core task thread stopped): every connect thread is
    // told to end at once, so that waiting for the threads never waits out a connect or a
    // pause. Each source still cancels and deletes its own.
    static void stopAll();

private:
    bool stopping();
    // Sleeps ms or until a cancel.
    void pause(int ms);
    void attempt();

    const std::string host;
    const int port;
    int attempts;

    std::mutex lock;
    std::condition_variable woken;
    i4_tcpip_sock* connecting;
    i4_socket* ready;
    bool failed;
};
