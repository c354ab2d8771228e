#include "ui/ServerListFetch.h"

#include <memory>
#include <mutex>

#include "core/MessageQ.h"
#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "i4min/threads/linux/i4_lock.h"

namespace {

// Never destroyed: a fetch may end while the program's statics are going.
std::mutex& fetchLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}
ServerListFetch* current = nullptr;

}  // namespace

ServerListFetch::ServerListFetch(const char* u, const char* p) : url(u), path(p) {
    connection.max_bytes = MAX_BYTES;
}

bool ServerListFetch::begin(const char* url, const char* path) {
    if (!url || !path) return false;
    // Held while the thread starts: a fetch that fails at once deletes itself only after
    // this has looked at it.
    i4_lock hold(&fetchLock());
    if (current) return false;
    ServerListFetch* fetch = new ServerListFetch(url, path);
    current = fetch;
    fetch->Thread::start();
    // Ended already counts as started: only a thread that never ran leaves it to us.
    if (fetch->getState() != Thread::NOT_RUNNING || fetch->ran) return true;
    current = nullptr;
    delete fetch;
    return false;
}

void ServerListFetch::cancelAll() {
    i4_lock hold(&fetchLock());
    if (current) current->connection.cancel();
}

void ServerListFetch::run() {
    ran = true;
    requestStop();
    // Only a whole list that came with status 200 replaces the file; on any failure
    // nothing is merged, not even a file left from an earlier fetch.
    bool got =
        i4_http_get_to_file(&connection, url.c_str(), path.c_str(), theProtocolHolder.get()) == 0;
    if (got) {
        theMessageQ.post(MSG_MERGE_SERVER_LIST, std::make_unique<i4_string>(path));
        theUI->printLine("Got server list.");
    } else if (!connection.cancelled()) {
        theUI->printLine("Problem getting list.");
    }
}

void ServerListFetch::onFinish() {
    {
        i4_lock hold(&fetchLock());
        current = nullptr;
    }
    delete this;
}
