#include "server/ExServerAnnex.h"

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/UIGateway.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/net/i4_address.h"
#include "i4min/string/i4_err.h"
#include "meta/FileMeta.h"
#include "meta/Search.h"
#include "net/IpPort.h"
#include "net/UDPPacket.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"
#include "server/TransferLink.h"

namespace {

const int UDP_OFFSET = 4;
const int32_t MIN_ANSWER_PING = 2;

int udpPortOf(uint16_t port) {
    int udp = port + UDP_OFFSET;
    return udp <= 0xFFFF ? udp : 0;
}

}  // namespace

ExServerAnnex::ExServerAnnex(ServerPool* p, Clock c)
    : UDPAnnex(UDPPacket::MARKER), pool(p), clock(c) {
    if (!clock) clock = [] { return theCore.millis(); };
}

ExServerAnnex::~ExServerAnnex() {
    if (pool) pool->annexGone(this);
}

void ExServerAnnex::sendStatusRequest(uint32_t ip, uint16_t port) {
    int udp = udpPortOf(port);
    if (!udp) return;
    UDPPacket* p = new UDPPacket(5, ip, udp);
    p->file().write_8(OP_STATUS_REQUEST);
    p->file().write_32((uint32_t)clock());
    queuePacket(p);
}

void ExServerAnnex::sendExpression(uint8_t opcode, Search* search, uint32_t ip, uint16_t port) {
    int udp = udpPortOf(port);
    if (!udp || !search) return;
    UDPPacket* p = new UDPPacket(1 + search->size(), ip, udp);
    p->file().write_8(opcode);
    if (search->toNetwork(p->file()))
        queuePacket(p);
    else
        delete p;
}

void ExServerAnnex::sendSearch(Search* search, uint32_t ip, uint16_t port) {
    sendExpression(OP_SEARCH, search, ip, port);
}

void ExServerAnnex::sendSearchKind1(Search* search, uint32_t ip, uint16_t port) {
    sendExpression(OP_SEARCH_TYPED, search, ip, port);
}

void ExServerAnnex::sendGetSources(const uint8_t hash[16], uint32_t ip, uint16_t port) {
    int udp = udpPortOf(port);
    if (!udp) return;
    UDPPacket* p = new UDPPacket(17, ip, udp);
    p->file().write_8(OP_GET_SOURCES);
    p->file().write(hash, 16);
    queuePacket(p);
}

void ExServerAnnex::sendCallbackRequest(uint32_t targetId, uint32_t ip, uint16_t port) {
    int udp = udpPortOf(port);
    if (!udp) return;
    UDPPacket* p = new UDPPacket(11, ip, udp);
    p->file().write_8(OP_CALLBACK_REQUEST);
    p->file().write_32(theCoreOptions.getClientId());
    p->file().write_16(theCoreOptions.getDoorPort());
    p->file().write_32(targetId);
    queuePacket(p);
}

void ExServerAnnex::handleDatagram(i4_file& datagram, const i4_address* sender) {
    handle(datagram, addressToIP(sender), sender ? sender->get_port() : 0);
}

void ExServerAnnex::handle(i4_file& f, uint32_t senderIp, int senderPort) {
    // The sender's port names the server's TCP port; one that cannot is no server's.
    int serverPort = senderPort - UDP_OFFSET;
    uint16_t port = serverPort > 0 ? (uint16_t)serverPort : 0;
    uint8_t op = 0;
    try {
        i4_field_reader in(f);
        op = in.u8();
        switch (op) {
        case OP_STATUS: {
            uint32_t challenge = in.u32();
            uint32_t users = in.u32();
            uint32_t files = in.u32();
            int32_t ping = (int32_t)((uint32_t)clock() - challenge);
            // An answer is an answer however fast: below 2 ms a ping reads as never answered.
            if (ping < MIN_ANSWER_PING) ping = MIN_ANSWER_PING;
            if (pool && port) pool->setStatus(senderIp, port, ping, users, files);
            break;
        }
        case OP_SEARCH_RESULT: {
            FileMeta* file = new FileMeta();
            if (file->fromNetwork(f))
                theServerGateway.gotSearchResult(file);
            else
                delete file;
            break;
        }
        case OP_SOURCES:
            theTransferLink->addFoundSources(f, senderIp, port);
            break;
        case OP_CALLBACK_FAILED: {
            uint32_t id = in.u32();
            theTransferLink->downloadCallbackFailed(senderIp, id);
            theTransferLink->friendCallbackFailed(senderIp, id);
            theTransferLink->uploadCallbackFailed(senderIp, id);
            break;
        }
        default:
            theUI->debug("ExServer Unknown Msg: %d\n", op);
        }
    } catch (const i4_err&) {
        // A datagram shorter than its opcode needs: dropped, the next one is read.
        theUI->debug("ExServer short Msg: %d\n", op);
    }
}
