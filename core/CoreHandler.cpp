#include "core/CoreHandler.h"

#include "core/Core.h"
#include "core/MessageQ.h"

CoreHandler theCoreHandler;

void CoreHandler::registerHandlers(MessageQ& queue) {
    queue.setHandler(this, MSG_RELOAD_FILTERS);
}

void CoreHandler::handleMessage(Message* message) {
    if (message->id == MSG_RELOAD_FILTERS) theCore.reloadFilters();
}
