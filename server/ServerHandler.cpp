#include "server/ServerHandler.h"

#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "i4min/string/i4_string.h"
#include "meta/Search.h"
#include "net/IpPort.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"
#include "util/CountedRef.h"

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
    if (!pool && message->id != MSG_PUBLISH) return;
    switch (message->id) {
    case MSG_SERVER_CONNECT:
        pool->connect(message->get<IpPort>());
        break;
    case MSG_SERVER_DISCONNECT:
        pool->disconnect();
        break;
    case MSG_SERVER_TRY_NEXT:
        pool->tryNext();
        break;
    case MSG_SEARCH:
    case MSG_SEARCH_TYPED:
        pool->search(message->get<Search>(), message->id == MSG_SEARCH);
        break;
    case MSG_EXTEND_SEARCH:
    case MSG_EXTEND_SEARCH_TYPED:
        pool->extendSearch(message->get<Search>(), message->id == MSG_EXTEND_SEARCH);
        break;
    case MSG_MORE_RESULTS:
        pool->moreResults();
        break;
    case MSG_PUBLISH:
        theServerGateway.publishShared();
        break;
    case MSG_MERGE_SERVER_LIST:
        if (i4_string* path = message->get<i4_string>()) {
            if (path->c_str()) {
                pool->mergeList(path->c_str());
                theServerUI->serverListChanged();
            }
        }
        break;
    default:
        break;
    }
}
