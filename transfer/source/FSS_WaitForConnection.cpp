#include "transfer/source/FSS_WaitForConnection.h"

#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_Gone.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"

FSS_WaitForConnection::FSS_WaitForConnection(FileSource* s)
    : FileSourceState(s, WAIT_CONNECTION), waited(0) {}

bool FSS_WaitForConnection::tick(int elapsedMs) {
    waited += elapsedMs;
    if (waited > LIMIT_MS) source->setState(new FSS_Gone(source));
    return true;
}

bool FSS_WaitForConnection::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    UserMeta* user = source->getUserMeta();
    if (serverIp != user->serverIp || clientId != user->ip) return false;
    theSourceList.removeIpServer(serverIp, clientId);
    source->setState(new FSS_BadSource(source));
    return true;
}
