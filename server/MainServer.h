// The one TCP connection to an index server. Senders: any thread (the send queue has its
// own lock). Handlers, the login and the id change: the core task thread. The destructor
// runs on the core task thread, or on a connect thread after a failed connect.
//
// Frames as every TCP protocol of the client (marker 0xE3, u32 length, payload); the
// payload's first byte is the opcode. Integers little-endian; a string is u16 length
// and bytes; a hash 16 raw bytes.
//   out  1  own user record (wire form, "Version" 61), then [password string]  login
//   out 20  -                                                 id received
//   out 21  file list (wire form)                             publish
//   out 22  search expression                                 search
//   out 25  hash                                              ask for sources
//   out 26  search expression                                 typed search
//   out 28  u32 low id of the peer that should call back      callback request
//   out 33  -                                                 more results
//   in   5  (ignored)                                         out of date
//   in  50  u8 n, n x (u32 ip, u16 port)                      more servers
//   in  51  file list (wire form), u8 more                    search results
//   in  52  u32 users, u32 files                              status
//   in  53  u32 ip, u16 port                                  a peer asks to be called
//   in  54  u32 client id                                     callback failed
//   in  56  string                                            server message
//   in  62  u32, string                                       ignored
//   in  63  u8 n, [user record]                               ignored
//   in  64  u32 client id                                     id change: logged in
//   in  65  server record (wire form)                         the server's own record
//   in  66  hash, u8 n, n x (u32 id, u16 port)                sources
//   in  67  user list (wire form)                             users
#pragma once

#include <atomic>
#include <cstdint>

#include "net/TCPConnection.h"
#include "server/ServerMeta.h"

class FileList;
class Search;
class ServerPool;

class MainServer : public TCPConnection {
public:
    // The largest frame a server may send: a page of results or users fits many times.
    static const uint32_t MAX_FRAME = 1u << 20;
    // The version the login announces.
    static const int32_t LOGIN_VERSION = 61;

    enum Op {
        OP_LOGIN = 1,
        OP_OUT_OF_DATE = 5,
        OP_ID_RECEIVED = 20,
        OP_PUBLISH = 21,
        OP_SEARCH = 22,
        OP_GET_SOURCES = 25,
        OP_SEARCH_TYPED = 26,
        OP_CALLBACK = 28,
        OP_MORE_RESULTS = 33,
        OP_SERVER_LIST = 50,
        OP_SEARCH_RESULTS = 51,
        OP_STATUS = 52,
        OP_CALLBACK_REQUESTED = 53,
        OP_CALLBACK_FAILED = 54,
        OP_MESSAGE = 56,
        OP_IGNORED_62 = 62,
        OP_IGNORED_63 = 63,
        OP_ID_CHANGE = 64,
        OP_SERVER_RECORD = 65,
        OP_FOUND_SOURCES = 66,
        OP_USERS = 67,
    };
    // Longest server message kept; the rest is skipped.
    enum { MAX_MESSAGE = 200 };

    // A connection to the record's address; the record is copied. pool: told when the
    // connection ends (not owned).
    MainServer(ServerMeta* record, ServerPool* pool);
    // Tells the pool that the connection is gone and, when it never logged in, that the
    // connect failed; not after discardSilently.
    ~MainServer() override;

    const char* describe(i4_string& out) override;
    bool handlePacket(uint8_t opcode, i4_file* payload) override;
    // Sends the login and makes this the pool's current connection.
    void onConnected() override;

    void requestSources(const uint8_t hash[16]);
    void requestCallback(uint32_t clientId);
    // Nothing for an empty list.
    void publish(FileList* files);
    void search(Search* search);
    void searchKind1(Search* search);
    void moreResults();

    bool isLoggedIn() const { return loggedIn.load(); }
    ServerMeta& record() { return server; }
    // The destructor tells the pool nothing: the connection was refused or replaced.
    void discardSilently() { silent = true; }
    void forgetPool() { pool = nullptr; }

private:
    void sendLogin();
    void gotIdChange(uint32_t id);
    bool gotServerRecord(i4_file& f);
    bool gotSearchResults(i4_file& f);
    bool gotUserList(i4_file& f);
    bool gotServerList(i4_file& f);
    void gotCallbackRequest(uint32_t ip, uint16_t port);
    void sendExpression(uint8_t opcode, Search* search);
    void sendSmall(uint8_t opcode, const void* bytes, int32_t n);

    ServerMeta server;
    std::atomic<ServerPool*> pool;
    std::atomic<bool> loggedIn;
    std::atomic<bool> silent;
};
