#include "ui/ServerListFetch.h"

#include <memory>

#include "core/MessageQ.h"
#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "i4min/net/i4_HttpConnection.h"

std::atomic<bool> ServerListFetch::busy(false);

ServerListFetch::ServerListFetch(const char* u, const char* p) : url(u), path(p) {}

bool ServerListFetch::begin(const char* url, const char* path) {
    if (!url || !path || busy.exchange(true)) return false;
    ServerListFetch* fetch = new ServerListFetch(url, path);
    fetch->Thread::start();
    if (fetch->getState() != Thread::NOT_RUNNING) return true;
    delete fetch;
    busy = false;
    return false;
}

void ServerListFetch::run() {
    requestStop();
    i4_HttpConnection connection;
    connection.max_bytes = MAX_BYTES;
    // Only a whole list that came with status 200 replaces the file; on any failure
    // nothing is merged, not even a file left from an earlier fetch.
    bool got =
        i4_http_get_to_file(&connection, url.c_str(), path.c_str(), theProtocolHolder.get()) == 0;
    if (got) {
        theMessageQ.post(MSG_MERGE_SERVER_LIST, std::make_unique<i4_string>(path));
        theUI->printLine("Got server list.");
    } else {
        theUI->printLine("Problem getting list.");
    }
}

void ServerListFetch::onFinish() {
    busy = false;
    delete this;
}
