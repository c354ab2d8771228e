// A known index server as the server pool keeps it: the record plus the source requests
// still pending there. Touched on the core task thread under the server list's lock.
#pragma once

#include <stdint.h>
#include <vector>

#include "server/HashRequest.h"
#include "server/ServerMeta.h"

class ExServerAnnex;
class MainServer;

class ExServer : public ServerMeta {
public:
    // A server is pinged when its last ping is this old.
    static const int64_t PING_EVERY_MS = 5400000;
    // A source request is forgotten when it is this old.
    static const int64_t REQUEST_EXPIRY_MS = 1200000;
    // More unanswered pings than this make a server dead, unless it is preferred.
    static const uint32_t MAX_UNANSWERED = 5;

    ExServer();
    ExServer(uint32_t ip, uint16_t port);
    ~ExServer() override;

    // Ages the server and its requests by ms and pings it when its time has come; false
    // when the ping finds it dead (removeDead set, too many unanswered, not preferred).
    bool tick(int64_t ms, ExServerAnnex* annex, bool removeDead);
    // Sends a status request and counts it as unanswered until the answer comes; false,
    // and nothing sent, when the server counts as dead.
    bool pingServer(ExServerAnnex* annex, bool removeDead);
    // Asks this server for sources of the file, unless it was asked already and the
    // request is still pending: over TCP when it is the connected server, else over UDP.
    bool askSources(const uint8_t hash[16], MainServer* connection, ExServerAnnex* annex);
    // The pending request for the file, if any, is dropped.
    void forgetRequest(const uint8_t hash[16]);
    int pendingRequests() const { return (int)requests.size(); }

private:
    std::vector<HashRequest> requests;
};
