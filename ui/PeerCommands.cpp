#include "ui/PeerCommands.h"

#include "core/Core.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "net/STSocketPool.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/PartnerManager.h"
#include "ui/Servant.h"
#include "util/LLView.h"

void PeerCommands::view(char*) {
    theServant->getPager().begin();
    i4_string connections = theXMLStringTable.localized("connections", "Connections");
    theUI->printLine("%d %s.", theCore.connectionCount(), connections.c_str());
    if (theServant->isMasterMode()) {
        STSocketPool* pool = theCore.socketPool;
        if (!pool) return;
        pool->dump();
        i4_string total = theXMLStringTable.localized("total", "Total");
        theUI->printLine("%s: %.1f %.1f", total.c_str(), pool->totalReceiveRate(),
                         pool->totalSendRate());
        return;
    }
    LLsafe* peers = theClientPool.getConnections();
    i4_lock hold(peers);
    int n = 1;
    for (Peer* p : LLView<Peer>(peers))
        theUI->printLine("(%d) %s", n++, i4_masked_line(p->getName()).c_str());
}

void PeerCommands::partners(char*) {
    thePartnerManager.dump();
}
