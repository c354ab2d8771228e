#include "server/MainServer.h"

#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_string.h"
#include "meta/FileList.h"
#include "meta/MetaTag.h"
#include "meta/Search.h"
#include "meta/SpecialTagInfo.h"
#include "meta/UserList.h"
#include "meta/UserMeta.h"
#include "net/TCPPacket.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"
#include "server/ServerTexts.h"
#include "server/TransferLink.h"
#include "transfer/peer/PeerFrame.h"

namespace {
const int SERVER_ENTRY_BYTES = 6;
}

MainServer::MainServer(ServerMeta* record, ServerPool* p)
    : TCPConnection(record ? record->ip : 0, record ? record->port : 0, TCPPacket::MARKER,
                    MAX_FRAME),
      pool(p),
      loggedIn(false),
      silent(false) {
    server.copy(record);
}

MainServer::~MainServer() {
    ServerPool* p = pool.load();
    if (silent || !p) return;
    p->connectionClosed(this);
    if (!loggedIn) p->connectFailed(ip, (uint16_t)port);
}

const char* MainServer::describe(i4_string& out) {
    out = "MainServer";
    return out.c_str();
}

void MainServer::onConnected() {
    theUI->printLine("%s", serverText(TEXT_PLACED_ON_QUEUE));
    sendLogin();
    if (ServerPool* p = pool.load()) p->setConnection(this);
}

void MainServer::sendLogin() {
    UserMeta me;
    theCoreOptions.copyOwnUser(me);
    // The index servers know this client by the older version number.
    int32_t version = LOGIN_VERSION;
    me.setSpecialTag(SpecialTagInfo::VERSION, &version);
    MetaTag* password = server.findTag(ServerMeta::PASSWORD);
    const char* secret = password && password->getType() == MetaTag::STRING
                             ? (const char*)password->getValue()
                             : nullptr;
    i4_string sent(secret ? secret : "");
    int32_t length = 1 + me.size() + (secret ? 2 + sent.length() : 0);
    TCPPacket* p = new TCPPacket(length, TCPPacket::MARKER);
    p->file().write_8(OP_LOGIN);
    me.toNetwork(p->file());
    if (secret) sent.write(p->file());
    send(p);
}

void MainServer::sendSmall(uint8_t opcode, const void* bytes, int32_t n) {
    TCPPacket* p = new TCPPacket(1 + n, TCPPacket::MARKER);
    p->file().write_8(opcode);
    if (n > 0) p->file().write(bytes, n);
    send(p);
}

void MainServer::requestSources(const uint8_t hash[16]) {
    sendSmall(OP_GET_SOURCES, hash, 16);
}

void MainServer::requestCallback(uint32_t clientId) {
    uint8_t id[4] = {(uint8_t)clientId, (uint8_t)(clientId >> 8), (uint8_t)(clientId >> 16),
                     (uint8_t)(clientId >> 24)};
    sendSmall(OP_CALLBACK, id, 4);
}

void MainServer::moreResults() {
    sendSmall(OP_MORE_RESULTS, nullptr, 0);
}

void MainServer::publish(FileList* files) {
    if (!files || files->getList()->count() == 0) return;
    theUI->debug("Publishing\n");
    TCPPacket* p = new TCPPacket(1 + files->size(), TCPPacket::MARKER);
    p->file().write_8(OP_PUBLISH);
    files->toNetwork(p->file());
    p->fixLength();
    send(p);
}

void MainServer::sendExpression(uint8_t opcode, Search* s) {
    if (!s) return;
    TCPPacket* p = new TCPPacket(1 + s->size(), TCPPacket::MARKER);
    p->file().write_8(opcode);
    if (s->toNetwork(p->file()))
        send(p);
    else
        delete p;
}

void MainServer::search(Search* s) {
    sendExpression(OP_SEARCH, s);
}

void MainServer::searchKind1(Search* s) {
    sendExpression(OP_SEARCH_TYPED, s);
}

bool MainServer::handlePacket(uint8_t opcode, i4_file* payload) {
    i4_file& f = *payload;
    // A field past the payload throws the read error, which drops the connection.
    i4_field_reader in(f);
    ServerPool* p = pool.load();
    switch (opcode) {
    case OP_OUT_OF_DATE:
        theUI->printLine("Either your client or the server is out of date.");
        return true;
    case OP_SERVER_LIST:
        return gotServerList(f);
    case OP_SEARCH_RESULTS:
        return gotSearchResults(f);
    case OP_STATUS: {
        uint32_t users = in.u32();
        uint32_t files = in.u32();
        if (p) p->gateway().setServerCounts(users, files);
        theServerUI->serverStatus(files, users);
        return true;
    }
    case OP_CALLBACK_REQUESTED: {
        uint32_t peerIp = in.u32();
        uint16_t peerPort = in.u16();
        gotCallbackRequest(peerIp, peerPort);
        return true;
    }
    case OP_CALLBACK_FAILED: {
        uint32_t id = in.u32();
        theTransferLink->downloadCallbackFailed(ip, id);
        theTransferLink->uploadCallbackFailed(ip, id);
        return true;
    }
    case OP_MESSAGE: {
        i4_string text;
        in.text(MAX_MESSAGE, text);
        // The server's text is data, never a format.
        theUI->printLine("%s", text.c_str() ? text.c_str() : "");
        return true;
    }
    case OP_IGNORED_62: {
        in.u32();
        i4_string ignored;
        in.text(MAX_MESSAGE, ignored);
        return true;
    }
    case OP_IGNORED_63:
        if (in.u8() != 0) {
            UserMeta ignored;
            ignored.fromNetwork(f);
        }
        return true;
    case OP_ID_CHANGE:
        gotIdChange(in.u32());
        return true;
    case OP_SERVER_RECORD:
        return gotServerRecord(f);
    case OP_FOUND_SOURCES:
        theTransferLink->addFoundSources(f, ip, (uint16_t)port);
        return true;
    case OP_USERS:
        return gotUserList(f);
    default:
        return TCPConnection::handlePacket(opcode, payload);
    }
}

bool MainServer::gotServerList(i4_file& f) {
    i4_field_reader in(f);
    uint8_t n = in.u8();
    // Every entry must be at hand before the first is taken.
    if ((int64_t)n * SERVER_ENTRY_BYTES > in.left()) return false;
    ServerPool* p = pool.load();
    for (int i = 0; i < n; ++i) {
        uint32_t serverIp = in.u32();
        uint16_t serverPort = in.u16();
        if (p) p->addServer(serverIp, serverPort);
    }
    return true;
}

bool MainServer::gotSearchResults(i4_file& f) {
    FileList* results = new FileList();
    i4_field_reader in(f);
    bool ok = results->fromNetwork(f) && in.left() >= 1;
    ServerPool* p = pool.load();
    if (!ok || !p) {
        results->deleteAll();
        delete results;
        return ok;
    }
    bool more = in.u8() != 0;
    p->gateway().gotSearchResults(results, more);
    return true;
}

bool MainServer::gotUserList(i4_file& f) {
    UserList* users = new UserList();
    bool ok = users->fromNetwork(f);
    ServerPool* p = pool.load();
    if (!ok || !p) {
        users->deleteAll();
        delete users;
        return ok;
    }
    p->gateway().gotUserList(users);
    return true;
}

bool MainServer::gotServerRecord(i4_file& f) {
    ServerMeta announced;
    if (!announced.fromNetwork(f)) return false;
    // Whatever address the record claims, it describes the server at the other end.
    announced.ip = ip;
    announced.port = (uint16_t)port;
    server.takeAnnouncedTags(&announced);
    if (ServerPool* p = pool.load()) p->updateServer(&announced);
    i4_string name;
    theServerUI->connected(server.displayName(name));
    return true;
}

void MainServer::gotCallbackRequest(uint32_t peerIp, uint16_t peerPort) {
    if (UserMeta::isLowId(peerIp)) return;
    UserMeta user;
    user.ip = peerIp;
    user.port = peerPort;
    Peer* open = nullptr;
    if (theTransferLink->connectPeer(&user, &open) == 0 && open)
        theTransferLink->sendIdChange(open);
}

void MainServer::gotIdChange(uint32_t id) {
    theCoreOptions.setClientId(id);
    ServerPool* p = pool.load();
    if (p) p->gateway().setServer(ip, (uint16_t)port);
    i4_string name;
    theServerUI->connected(server.displayName(name));
    theMessageQ.post(MSG_PUBLISH);
    sendSmall(OP_ID_RECEIVED, nullptr, 0);

    theTransferLink->broadcast(PeerFrame::idChange(id, ip));

    loggedIn = true;
    if (p) p->stopConnecting();
}
