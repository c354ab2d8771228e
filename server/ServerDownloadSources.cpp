#include "server/ServerDownloadSources.h"

#include "server/ServerGateway.h"
#include "server/ServerPool.h"

ServerDownloadSources::ServerDownloadSources(ServerGateway& g) : gateway(g), elapsed(0) {}

void ServerDownloadSources::tick(int64_t elapsedMs) {
    if (elapsedMs > 0) elapsed += elapsedMs;
}

void ServerDownloadSources::forgetRequests(const uint8_t* fileHash) {
    if (!fileHash) return;
    if (ServerPool* pool = gateway.pool()) pool->forgetSources(fileHash);
}

void ServerDownloadSources::findSources(const uint8_t* fileHash) {
    if (elapsed < MIN_SPACING_MS || !fileHash) return;
    elapsed = 0;
    if (ServerPool* pool = gateway.pool()) pool->askAllForSources(fileHash);
}
