// Made and started by the "glist" command on the core task thread; runs once on a thread of
// its own and then deletes itself. cancelAll: any thread. The lock guards the fetch under way,
// which lives until its thread has let go of it under the lock.
#pragma once

#include <atomic>

#include "core/Thread.h"
#include "i4min/net/i4_HttpConnection.h"
#include "i4min/string/i4_string.h"

// Fetches a server list over HTTP into a file beside the state files and, only when
// the whole body came with status 200, has the server pool merge it. Off the core task
// thread, so a slow server never stalls the client's connections.
class ServerListFetch : public Thread {
public:
    // Largest list taken: some ten thousand servers.
    enum { MAX_BYTES = 1 << 20 };

    // False, and nothing started, while another fetch runs or when no thread can be made.
    static bool begin(const char* url, const char* path);
    // The client quits: a fetch under way stops waiting for its server, so that waiting for
    // the threads never waits out a silent server.
    static void cancelAll();

    void run() override;
    void onFinish() override;

private:
    ServerListFetch(const char* url, const char* path);

    i4_string url;
    i4_string path;
    i4_HttpConnection connection;
    std::atomic<bool> ran{false};
};
