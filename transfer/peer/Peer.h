// The core task thread, except: a sender that builds its frame from its arguments alone only
// queues it, so any thread may call it (those that look up shared files or downloads, and
// sendChat and sendPing, which restart the idle clock, belong to the core task thread); the
// constructors run on the thread that makes the peer; an outgoing peer whose connect fails
// runs onConnectFailed and its destructor on its connect thread, before any pool has it.
// Nothing here has a lock of its own (the send queue has one).
#pragma once

#include <cstdint>

#include "meta/UserMeta.h"
#include "net/TCPConnection.h"
#include "transfer/peer/PeerProtocol.h"

class i4_field_reader;

// One connection between two clients. The opening side says hello (1) once the connect
// succeeds, the other answers (76); both carry the sender's user record and a 4-byte checksum
// trailer (PeerHello). The peer keeps no transfer state: it reads each later packet
// (PeerFrame), hands it to the downloads, uploads, friends, chat or partners through one
// handler per opcode, and offers one sender per outgoing opcode.
class Peer : public TCPConnection, public PeerProtocol {
public:
    // The largest payload a peer may announce: the biggest legitimate frames are data blocks
    // (at most a crumb) and a friend's file list of a large directory.
    static constexpr uint32_t MAX_PAYLOAD = 2u << 20;
    static constexpr int64_t IDLE_AT_START_MS = 60000;
    static constexpr int64_t IDLE_LIMIT_MS = 120000;

    // Outgoing, to ip:port (first octet in the lowest byte); the user record's id and port
    // are the target's until its hello answer tells more.
    Peer(uint32_t ip, int port, bool stayOpen);
    // Accepted by the door; such a peer stays open without references.
    explicit Peer(i4_socket* accepted);
    // Unlists the peer, which tells the connection pool's listeners.
    ~Peer() override;

    // References decide when an outgoing connection that nobody needs is closed; the label
    // names the holder for the reader of the code only.
    void addRef(const char* label);
    void release(const char* label);
    int refCount() const { return refs; }
    // Unique for the life of the process, never reused: names the connection in a message
    // that may be handled after it closed and its address was reused.
    uint32_t getSerial() const { return serial; }
    // stayOpen and no references: the first to go when connections run short.
    bool isDead() const { return stayOpen && refs <= 0; }
    bool isStayOpen() const { return stayOpen; }
    // Already asked to close (released for good, or dropped for room).
    bool isClosing() const { return closing; }
    // Closes once the frames queued so far have gone out.
    void closeWhenSent();

    // A partner connection is kept open while silent; setting it restarts the idle clock.
    void setKeep(bool on);
    bool isKept() const { return keep; }
    int64_t getIdleMs() const { return idleMs; }
    // Data going out counts as activity: an upload keeps its connection.
    void resetIdle() { idleMs = 0; }

    // The user record's id, the connection's ip and its text; 0 takes the socket's address.
    void setIp(uint32_t id);
    UserMeta* getUser() { return &user; }
    int getPrLevel() const { return prLevel; }
    bool isSameUser(UserMeta* other) { return user.isSameUser(other); }

    // The idle clock, then the rate samples.
    void tick(int ms) override;
    const char* describe(i4_string& out) override;
    bool handlePacket(uint8_t opcode, i4_file* payload) override;
    bool handleFirstPacket(uint8_t opcode, i4_file* payload) override;
    Connection* createConnection(i4_socket* accepted) override;
    // Says hello.
    void onConnected() override;
    // Posts queue message 35 with the address.
    void onConnectFailed() override;
    // The name tag of the user record, "????" without one.
    const char* getName() override;

    // Senders, one per outgoing opcode.
    void sendHello();
    void sendHelloAnswer();
    void requestRanges(const uint8_t hash[16], const uint32_t starts[3], const uint32_t ends[3]);
    void sendNoSuchFile(const uint8_t hash[16]);
    void sendIdChange();
    void sendChat(const char* text);
    // Sends 79 only when the partial file is big enough to have more than one bit: above a
    // crumb for a peer of level 1, above a part for others. Returns whether it sent.
    bool requestFileStatus(const uint8_t hash[16], uint64_t partialFileSize);
    void sendFileStatus(const uint8_t hash[16]);
    void requestHashes(const uint8_t hash[16]);
    void sendUploadRequest(const uint8_t hash[16]);
    void sendSlotGranted();
    void sendCancelTransfer();
    void sendOutOfParts();
    void requestFileName(const uint8_t hash[16]);
    void sendConnectRequest(uint32_t ip, uint16_t port);
    void sendSourceOffer(const uint8_t hash[16]);
    void sendQueueRank(uint32_t rank);
    // 94 with a directory, 93 without.
    void requestSharedFiles(const char* directory);
    void sendSharedDirectories();
    void sendSharedFiles(const char* directory);
    void sendNoShareView();
    void sendPing();
    void sendNotice();
    void sendPartnerRequest(const uint8_t hash[16]);
    void sendCrumbHashes(const uint8_t hash[16]);
    void sendCrumbAvailable(const uint8_t hash[16], uint32_t crumb);
    // 107 when the record's id is an address other than the socket's.
    void checkAddress();

    // The connect this peer asked for with opcode 90, so that it has one at a time.
    uint32_t requestedIp() const { return askedIp; }
    uint16_t requestedPort() const { return askedPort; }
    void setRequested(uint32_t ip, uint16_t port) {
        askedIp = ip;
        askedPort = port;
    }

private:
    // A handler gets the payload past the opcode, and past the hash for a frame about a file,
    // which it gets read (hash is null otherwise); false drops the connection.
    using Handler = bool (Peer::*)(const uint8_t* hash, i4_field_reader& in);
    struct Route {
        uint8_t opcode;
        bool aboutFile;
        Handler handle;
    };
    // The first packet, then every later one; an opcode in neither is refused first and
    // left to the base later.
    static const Route FIRST_ROUTES[];
    static const Route ROUTES[];
    bool run(const Route& route, i4_file& payload);

    void init();
    // Steps of a hello and its answer; false refuses the connection.
    bool gotHello(const uint8_t* hash, i4_field_reader& in);
    bool gotHelloAnswer(const uint8_t* hash, i4_field_reader& in);

    bool gotOutOfDate(const uint8_t* hash, i4_field_reader& in);
    bool gotData(const uint8_t* hash, i4_field_reader& in);
    bool gotRangeRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotNoSuchFile(const uint8_t* hash, i4_field_reader& in);
    bool gotCancel(const uint8_t* hash, i4_field_reader& in);
    bool gotIdChange(const uint8_t* hash, i4_field_reader& in);
    bool gotChat(const uint8_t* hash, i4_field_reader& in);
    bool gotFileStatusRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotFileStatus(const uint8_t* hash, i4_field_reader& in);
    bool gotPartHashes(const uint8_t* hash, i4_field_reader& in);
    bool gotNoChat(const uint8_t* hash, i4_field_reader& in);
    bool gotUploadRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotSlotGranted(const uint8_t* hash, i4_field_reader& in);
    bool gotOutOfParts(const uint8_t* hash, i4_field_reader& in);
    bool gotFileNameRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotFileName(const uint8_t* hash, i4_field_reader& in);
    bool gotConnectRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotSourceOffer(const uint8_t* hash, i4_field_reader& in);
    bool gotQueueRank(const uint8_t* hash, i4_field_reader& in);
    bool gotDirectoryListRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotDirectoryFilesRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotDirectoryList(const uint8_t* hash, i4_field_reader& in);
    bool gotDirectoryFiles(const uint8_t* hash, i4_field_reader& in);
    bool gotNoFileView(const uint8_t* hash, i4_field_reader& in);
    bool gotPing(const uint8_t* hash, i4_field_reader& in);
    bool gotNotice(const uint8_t* hash, i4_field_reader& in);
    bool gotPartnerRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotPartnerDenied(const uint8_t* hash, i4_field_reader& in);
    bool gotPartnerAccepted(const uint8_t* hash, i4_field_reader& in);
    bool gotCrumbHashes(const uint8_t* hash, i4_field_reader& in);
    bool gotCrumbHashRequest(const uint8_t* hash, i4_field_reader& in);
    bool gotCrumbAvailable(const uint8_t* hash, i4_field_reader& in);
    bool gotAddressDiffers(const uint8_t* hash, i4_field_reader& in);
    // Frames that ask for nothing: 81 (this client never sends part hashes) and 99.
    bool ignore(const uint8_t* hash, i4_field_reader& in);

    void answerShareView(const char* directory);
    void sendFileName(const uint8_t hash[16], const char* name);
    void queue(TCPPacket* packet) { send(packet); }

    UserMeta user;
    int refs;
    bool stayOpen;
    bool keep;
    bool closing;
    int64_t idleMs;
    int prLevel;
    uint32_t serial;
    uint32_t askedIp;
    uint16_t askedPort;
};
