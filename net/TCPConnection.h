// send, closeAfterSend and closeNow: any thread (the queue has its own lock, the flag is
// atomic). Everything else: the core task thread, or the owner before the pool has it.
#pragma once

#include <atomic>
#include <cstdint>

#include "i4min/net/i4_protocol.h"
#include "net/ClockedConnection.h"
#include "net/TCPPacket.h"
#include "net/TCPReadPacket.h"
#include "util/LLsafe.h"

class i4_file;
class i4_socket;

// A framed stream connection: sends queued TCPPackets, reassembles incoming frames and
// hands each to the protocol handler by opcode. At most two frames are read and two
// packets written per pass.
class TCPConnection : public ClockedConnection {
public:
    // Payload cap when a protocol names none of its own.
    static const uint32_t DEFAULT_MAX_FRAME = 4u << 20;

    // Outgoing: no socket until a connect gives one. ip has its first octet in the lowest byte.
    TCPConnection(uint32_t ip, int port, uint8_t marker, uint32_t maxFrame = DEFAULT_MAX_FRAME);
    // Accepted: takes over the socket.
    TCPConnection(i4_socket* accepted, uint8_t marker, uint32_t maxFrame = DEFAULT_MAX_FRAME);
    ~TCPConnection() override;

    bool doTask() override;
    // Reports an outgoing connection as open (onConnected) once attached.
    int attach(SocketPool* pool) override;
    const char* describe(i4_string& out) override;
    int readinessWanted() override;
    void beforeWait() override;

    // false drops the connection.
    virtual bool handlePacket(uint8_t opcode, i4_file* payload);
    virtual bool handleFirstPacket(uint8_t opcode, i4_file* payload);
    virtual Connection* createConnection(i4_socket* accepted);
    virtual void onConnected();
    virtual void onConnectFailed();
    virtual const char* getName();

    // Connect thread, before the pool has the connection. Makes the socket through the
    // protocol in force and waits at most limitMs until it is writable without error; then
    // non-blocking and connected. true also when it already had a socket.
    bool openSocket(int32_t limitMs = I4_CONNECT_LIMIT_MS);
    // openSocket, then hands the connection to the pool; on failure onConnectFailed, and
    // the caller deletes it.
    bool connect(SocketPool* pool, int32_t limitMs = I4_CONNECT_LIMIT_MS);

    // The connection owns the packet from here on; nothing goes out before the next pass.
    void send(TCPPacket* packet);
    // Dropped once every packet queued so far has gone out whole.
    void closeAfterSend();
    // Dropped at the next pass, whatever is still queued.
    void closeNow();

    uint32_t getIp() const { return ip; }
    int getPort() const { return port; }
    const i4_string& getIpText() const { return ipText; }
    bool isConnected() const { return connected; }
    int queuedPackets() { return sendQueue.count(); }

protected:
    // Puts the connection on its pool's removal list, once; nothing more moves after it.
    void drop();
    // false when the step failed.
    bool readStep();
    // true when it completed a packet.
    bool writeStep();
    bool dispatch();

    bool connected;
    bool firstHandled;
    std::atomic<bool> closeNowFlag;
    bool dropping;
    TCPReadPacket incoming;
    LLsafe sendQueue;
    uint32_t ip;
    int port;
    i4_string ipText;
};
