#include "server/ExServer.h"

#include <string.h>

#include "server/ExServerAnnex.h"
#include "server/MainServer.h"

ExServer::ExServer() {}

ExServer::ExServer(uint32_t ipAddr, uint16_t portNo) : ServerMeta(ipAddr, portNo) {}

ExServer::~ExServer() {}

bool ExServer::tick(int64_t ms, ExServerAnnex* annex, bool removeDead) {
    age += ms;
    if (age > PING_EVERY_MS && !pingServer(annex, removeDead)) return false;
    for (size_t i = 0; i < requests.size();) {
        requests[i].age += ms;
        if (requests[i].age > REQUEST_EXPIRY_MS)
            requests.erase(requests.begin() + (long)i);
        else
            ++i;
    }
    return true;
}

bool ExServer::pingServer(ExServerAnnex* annex, bool removeDead) {
    if (removeDead && (uint32_t)history > MAX_UNANSWERED && pref != PREF_HIGH) return false;
    age = 0;
    if (history < INT32_MAX) history++;
    // 0 keeps the count just raised; the priority stays 0 until an answer comes.
    setPing(0);
    setUsersFiles(0, 0);
    if (annex) annex->sendStatusRequest(ip, port);
    return true;
}

void ExServer::forgetRequest(const uint8_t hash[16]) {
    for (size_t i = 0; i < requests.size(); ++i) {
        if (memcmp(requests[i].hash, hash, 16) == 0) {
            requests.erase(requests.begin() + (long)i);
            return;
        }
    }
}

bool ExServer::askSources(const uint8_t hash[16], MainServer* connection, ExServerAnnex* annex) {
    for (const HashRequest& r : requests)
        if (memcmp(r.hash, hash, 16) == 0) return false;
    requests.emplace_back(hash);
    if (connection && connection->getIp() == ip && connection->getPort() == port)
        connection->requestSources(hash);
    else if (annex)
        annex->sendGetSources(hash, ip, port);
    return true;
}
