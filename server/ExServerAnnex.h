// The server side's datagram annex. Senders: any thread (the send queue has its own
// lock). The handlers: the core task thread, in the annex's pass. forgetPool: the owner
// of the pool, while no pass runs.
//
// A server's UDP port is its TCP port + 4; the sender's port - 4 names the record a
// datagram belongs to. Datagrams (after the marker 0xE3; integers little-endian):
//   out 150  u32 challenge (the core's milliseconds)            status request
//   out 152  search expression                                   spread search
//   out 154  16-byte file hash                                   source request
//   out 156  u32 own id, u16 own peer port, u32 low id to call   callback request
//   out 157  search expression                                   spread typed search
//   in  151  u32 challenge, u32 users, u32 files                 status answer
//   in  153  one file record (wire form)                         search result
//   in  155  16-byte hash, u8 n, n x (u32 id, u16 port)          sources
//   in  158  u32 client id                                       callback failed
#pragma once

#include <cstdint>
#include <functional>

#include "net/UDPAnnex.h"

class Search;
class ServerPool;

class ExServerAnnex : public UDPAnnex {
public:
    enum {
        OP_STATUS_REQUEST = 150,
        OP_STATUS = 151,
        OP_SEARCH = 152,
        OP_SEARCH_RESULT = 153,
        OP_GET_SOURCES = 154,
        OP_SOURCES = 155,
        OP_CALLBACK_REQUEST = 156,
        OP_SEARCH_TYPED = 157,
        OP_CALLBACK_FAILED = 158,
    };
    typedef std::function<int64_t()> Clock;

    // pool: where status answers go (not owned). clock: the challenge's milliseconds; the
    // core's own by default.
    explicit ExServerAnnex(ServerPool* pool, Clock clock = Clock());
    ~ExServerAnnex() override;

    // Each goes to the server's TCP port + 4; a server whose UDP port would pass 65535
    // is not sent to.
    void sendStatusRequest(uint32_t ip, uint16_t port);
    void sendSearch(Search* search, uint32_t ip, uint16_t port);
    void sendSearchKind1(Search* search, uint32_t ip, uint16_t port);
    void sendGetSources(const uint8_t hash[16], uint32_t ip, uint16_t port);
    void sendCallbackRequest(uint32_t targetId, uint32_t ip, uint16_t port);

    // The pool is going away: later datagrams that need it are dropped.
    void forgetPool() { pool = nullptr; }

    // The datagram after the marker; the sender's ip and port. Public for the fuzz target.
    void handle(i4_file& datagram, uint32_t senderIp, int senderPort);

protected:
    void handleDatagram(i4_file& datagram, const i4_address* sender) override;

private:
    void sendExpression(uint8_t opcode, Search* search, uint32_t ip, uint16_t port);

    ServerPool* pool;
    Clock clock;
};
