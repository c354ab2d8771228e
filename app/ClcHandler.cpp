#include "app/ClcHandler.h"

#include "app/StateSaver.h"
#include "core/Core.h"
#include "core/MessageQ.h"
#include "server/ServerGateway.h"
#include "transfer/share/TransferGateway.h"
#include "ui/AdminSettings.h"

ClcHandler theClcHandler;

void ClcHandler::registerHandlers(MessageQ& queue) {
    queue.setHandler(this, MSG_LOAD_STATE);
    queue.setHandler(this, MSG_SAVE_STATE);
}

void ClcHandler::handleMessage(Message* message) {
    switch (message->id) {
    case MSG_LOAD_STATE:
        theCore.reloadFilters();
        theTransferGateway.load();
        theServerGateway.load();
        theAdminSettings.load();
        // From here on a change reaches its file within seconds.
        theStateSaver.begin();
        break;
    case MSG_SAVE_STATE:
        theCore.saveFilters();
        theTransferGateway.save();
        theServerGateway.save();
        theAdminSettings.save();
        break;
    default:
        break;
    }
}
