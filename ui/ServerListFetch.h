// Made and started by the "glist" command; runs once on a thread of its own and then
// deletes itself. The busy flag (atomic) lets one fetch run at a time.
#pragma once

#include <atomic>

#include "core/Thread.h"
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

    void run() override;
    void onFinish() override;

private:
    ServerListFetch(const char* url, const char* path);

    i4_string url;
    i4_string path;
    static std::atomic<bool> busy;
};
