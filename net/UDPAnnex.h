// queuePacket: any thread (the send queue has its own lock). Everything else: the core task
// thread, or the owner before it hands the annex to a pool.
#pragma once

#include <cstdint>

#include "i4min/file/i4_ram_file_class.h"
#include "net/ClockedConnection.h"
#include "util/LLsafe.h"

class UDPPacket;
class i4_address;

// A connection of the socket pool that owns one datagram socket: sends queued datagrams,
// one a pass, and hands each received datagram that starts with the marker to its
// subclass. Incoming frames are laid out as UDPPacket's.
class UDPAnnex : public ClockedConnection {
public:
    enum { BUFFER_SIZE = 3072 };

    // A socket the system binds at the first send.
    explicit UDPAnnex(uint8_t marker);
    // A socket bound to the port through the protocol in force.
    UDPAnnex(int port, int32_t timeoutMs, uint8_t marker);
    // Deletes the queued datagrams.
    ~UDPAnnex() override;

    bool doTask() override;
    const char* describe(i4_string& out) override;
    int readinessWanted() override;

    // The annex owns the packet from here on; it goes out at a later pass.
    void queuePacket(UDPPacket* packet);
    int queuedPackets() { return sendQueue.count(); }

protected:
    // One datagram that started with the marker. The file holds exactly its bytes and is
    // positioned after the marker, so reading past its end fails. sender is valid only
    // during the call.
    virtual void handleDatagram(i4_file& datagram, const i4_address* sender) = 0;

    // Receives while datagrams come and the pass's receive budget lasts.
    void readDatagrams();
    // Sends the head of the queue once and drops it, whatever the result.
    void writeToSocket();

private:
    void openUnbound();

    i4_address* sender;  // owned; set only while a datagram is handled
    uint8_t buffer[BUFFER_SIZE];
    i4_ram_file_class received;
    LLsafe sendQueue;
    uint8_t marker;
};
