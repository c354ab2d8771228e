#include <gtest/gtest.h>

#include "net/TCPPacket.h"
#include "server/TransferLink.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"

// The server side's calls reach the real connection pool.
TEST(TransferLinkPeers, ConnectReusesAnOpenPeerAndBroadcastReachesEveryPeer) {
    TransferLink link;
    Peer* a = new Peer(0x0201A8C0, 4662, true);
    Peer* b = new Peer(0x0301A8C0, 4662, true);
    theClientPool.addPeer(a);
    theClientPool.addPeer(b);

    UserMeta user;
    user.ip = 0x0301A8C0;
    user.port = 4662;
    Peer* open = nullptr;
    EXPECT_EQ(ClientPool::CONNECTED, link.connectPeer(&user, &open));
    EXPECT_EQ(b, open);
    link.sendIdChange(open);
    EXPECT_EQ(1, b->queuedPackets());

    TCPPacket* idChange = new TCPPacket(9, 0xE3);
    idChange->file().write_8(77);
    link.broadcast(idChange);
    EXPECT_EQ(1, a->queuedPackets());
    EXPECT_EQ(2, b->queuedPackets());
    delete a;
    delete b;
    EXPECT_EQ(0, theClientPool.count());
}
