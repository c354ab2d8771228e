#include "ui/RemoteController.h"

#include <memory>

#include "core/MessageQ.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/threads/linux/i4_lock.h"
#include "net/IpPort.h"
#include "net/TCPPacket.h"
#include "server/ExServerList.h"
#include "server/ServerGateway.h"
#include "server/ServerMeta.h"
#include "server/ServerPool.h"

RemoteController::RemoteController(i4_socket* accepted, TcpipUI* remoteUI, TaskThread* tasks)
    : GUIController(accepted, remoteUI, tasks) {}

bool RemoteController::handlePacket(uint8_t opcode, i4_file* payload) {
    ServerPool* pool = theServerGateway.pool();
    i4_field_reader in(*payload);
    switch (opcode) {
    case IN_CONNECT_SERVER: {
        uint32_t ip = in.u32();
        uint16_t port = in.u16();
        std::unique_ptr<IpPort> target;
        if (pool) {
            ExServerList& servers = pool->servers();
            i4_lock hold(&servers);
            if (ServerMeta* s = servers.findByAddress(ip, port))
                target.reset(new IpPort(s->ip, s->port));
        }
        // An address that is not listed connects to any server.
        if (target)
            theMessageQ.post(MSG_SERVER_CONNECT, std::move(target));
        else
            theMessageQ.post(MSG_SERVER_CONNECT);
        return true;
    }
    case IN_DISCONNECT_SERVER:
        theMessageQ.post(MSG_SERVER_DISCONNECT);
        return true;
    case IN_SERVER_LIST:
        sendServerList();
        return true;
    case IN_REMOVE_SERVER:
    case IN_ADD_SERVER: {
        uint32_t ip = in.u32();
        uint16_t port = in.u16();
        if (!pool) return true;
        if (opcode == IN_ADD_SERVER)
            pool->addServer(ip, port);
        else
            pool->removeServer(ip, port);
        return true;
    }
    case IN_SERVER_PREFERENCE: {
        uint32_t ip = in.u32();
        uint16_t port = in.u16();
        int8_t preference = (int8_t)in.u8();
        if (pool && (preference == -2 || preference == 0 || preference == 2))
            pool->setPreference(ip, port, preference);
        return true;
    }
    default:
        return GUIController::handlePacket(opcode, payload);
    }
}

void RemoteController::sendServerList() {
    ServerPool* pool = theServerGateway.pool();
    TCPPacket* p = startPacket(OUT_SERVER_LIST, pool ? pool->servers().size() : 4);
    bool written =
        pool ? pool->servers().toNetwork(p->file()) : (i4_field_writer(p->file()).u32(0), true);
    if (written)
        send(finish(p));
    else
        delete p;
}
