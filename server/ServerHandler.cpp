#include "server/ServerHandler.h"

#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "i4min/string/i4_string.h"
#include "meta/Search.h"
#include "net/IpPort.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"

ServerHandler theServerHandler;

void ServerHandler::registerHandlers(MessageQ& queue) {
    static const int ids[] = {
        MSG_SERVER_CONNECT, MSG_SERVER_DISCONNECT, MSG_SERVER_TRY_NEXT,     MSG_SEARCH,
        MSG_SEARCH_TYPED,   MSG_MORE_RESULTS,      MSG_EXTEND_SEARCH_TYPED, MSG_EXTEND_SEARCH,
        MSG_PUBLISH,        MSG_MERGE_SERVER_LIST};
    for (int id : ids) queue.setHandler(this, id);
}

void ServerHandler::handleMessage(Message* message) {
    ServerPool* pool = theServerGateway.pool();
    void* data = message->data;
    switch (message->id) {
    case MSG_SERVER_CONNECT:
        if (pool)
            pool->connect(static_cast<IpPort*>(data));
        else
            delete static_cast<IpPort*>(data);
        break;
    case MSG_SERVER_DISCONNECT:
        if (pool) pool->disconnect();
        break;
    case MSG_SERVER_TRY_NEXT:
        if (pool) pool->tryNext();
        break;
    case MSG_SEARCH:
    case MSG_SEARCH_TYPED:
    case MSG_EXTEND_SEARCH:
    case MSG_EXTEND_SEARCH_TYPED: {
        Search* search = static_cast<Search*>(data);
        bool kind0 = message->id == MSG_SEARCH || message->id == MSG_EXTEND_SEARCH;
        bool extend = message->id == MSG_EXTEND_SEARCH || message->id == MSG_EXTEND_SEARCH_TYPED;
        if (pool && extend)
            pool->extendSearch(search, kind0);
        else if (pool)
            pool->search(search, kind0);
        if (search) search->release();
        break;
    }
    case MSG_MORE_RESULTS:
        if (pool) pool->moreResults();
        break;
    case MSG_PUBLISH:
        theServerGateway.publishShared();
        break;
    case MSG_MERGE_SERVER_LIST: {
        i4_string* path = static_cast<i4_string*>(data);
        if (pool && path && path->c_str()) {
            pool->mergeList(path->c_str());
            theServerUI->serverListChanged();
        }
        delete path;
        break;
    }
    default:
        break;
    }
}
