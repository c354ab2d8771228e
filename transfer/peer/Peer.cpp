#include "transfer/peer/Peer.h"

#include <atomic>
#include <memory>
#include <vector>

#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/NetworkGateway.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/net/i4_address.h"
#include "i4min/net/i4_socket.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "meta/SpecialTagInfo.h"
#include "net/IpPort.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/PeerChat.h"
#include "transfer/peer/PeerDownloads.h"
#include "transfer/peer/PeerFrame.h"
#include "transfer/peer/PeerFriends.h"
#include "transfer/peer/PeerPartners.h"
#include "transfer/peer/PeerShares.h"
#include "transfer/peer/PeerUploads.h"
#include "transfer/share/TransferOptions.h"
#include "util/BoolArray.h"
#include "util/LL.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

namespace {

const char* const kIncompleteFiles = "!Incomplete Files";

// The gateway's answers, or the settings' when no server side is attached (tests, and the
// start before the gateway is set).
uint16_t ownDoorPort() {
    return theNetworkGateway ? theNetworkGateway->getDoorPort() : theCoreOptions.getDoorPort();
}

uint32_t ownServerIp() {
    return theNetworkGateway ? theNetworkGateway->getServerIp() : theCoreOptions.getServerIp();
}

uint16_t ownServerPort() {
    return theNetworkGateway ? theNetworkGateway->getServerPort() : theCoreOptions.getServerPort();
}

// The other pools, as the client pool was handed them.
TransferServices& services() {
    return theClientPool.services();
}

void printLocalized(const char* key, const char* fallback) {
    i4_string text(fallback);
    theXMLStringTable.localize(key, text);
    theUI->printLine("%s", text.c_str() ? text.c_str() : "");
}

}  // namespace

Peer::Peer(uint32_t ipAddr, int portNo, bool open)
    : TCPConnection(ipAddr, portNo, PeerFrame::MARKER, MAX_PAYLOAD) {
    init();
    stayOpen = open;
    user.ip = ipAddr;
    user.port = (uint16_t)portNo;
}

Peer::Peer(i4_socket* accepted) : TCPConnection(accepted, PeerFrame::MARKER, MAX_PAYLOAD) {
    init();
    stayOpen = true;
}

void Peer::init() {
    static std::atomic<uint32_t> serials{0};
    serial = ++serials;
    refs = 0;
    stayOpen = false;
    keep = false;
    closing = false;
    idleMs = IDLE_AT_START_MS;
    prLevel = 0;
    askedIp = 0;
    askedPort = 0;
}

Peer::~Peer() {
    theClientPool.removePeer(this);
}

void Peer::addRef(const char*) {
    ++refs;
}

void Peer::release(const char*) {
    --refs;
    if (refs <= 0 && !stayOpen) closeWhenSent();
}

void Peer::closeWhenSent() {
    if (closing) return;
    closing = true;
    closeAfterSend();
}

void Peer::setKeep(bool on) {
    keep = on;
    if (on) idleMs = 0;
}

void Peer::setIp(uint32_t id) {
    if (id == 0) {
        i4_address* remote = sock ? sock->remote_address() : nullptr;
        id = addressToIP(remote);
        delete remote;
    }
    user.ip = id;
    ip = id;
    ipToText(id, ipText);
}

void Peer::tick(int ms) {
    if (!keep && ms > 0) {
        idleMs += ms;
        if (idleMs > IDLE_LIMIT_MS) closeNow();
    }
    TCPConnection::tick(ms);
}

const char* Peer::describe(i4_string& out) {
    i4_string rates;
    rates.format("(%.2f,%.2f)", receiveAverage(), sendAverage());
    out.format("%s [%s:%d] (%d) %d %s [%d] keep: %d", getName(),
               ipText.c_str() ? ipText.c_str() : "", (int)user.port, (int)idleMs,
               (int)user.getSpecialInt(SpecialTagInfo::VERSION), rates.c_str(), user.trailerValid,
               keep ? 1 : 0);
    return out.c_str();
}

const char* Peer::getName() {
    return user.getName();
}

Connection* Peer::createConnection(i4_socket* accepted) {
    return new Peer(accepted);
}

void Peer::onConnected() {
    sendHello();
}

void Peer::onConnectFailed() {
    theMessageQ.post(MSG_CONNECT_FAILED, std::make_unique<IpPort>(ip, (uint32_t)port));
}

// ---- hello

bool Peer::trailer(uint8_t* p, uint32_t n, int32_t seed) {
    if (!p || n < 5) return false;
    int32_t s = seed;
    uint8_t c = p[0];
    uint8_t d = 0;
    bool ok = true;
    for (uint32_t i = 0; i + 1 < n; i++) {
        // Truncating remainder in signed 32 bits: s stays within -254..254.
        s = (s * 8147 + 6281) % 255;
        uint8_t t = (uint8_t)((p[i] + 7529) % 255);
        c = (uint8_t)(((uint8_t)(c + d) ^ t) - (uint8_t)s);
        d = c;
        if (i + 5 >= n) {
            if (p[i + 1] != c) ok = false;
            p[i + 1] = c;
        }
    }
    return ok;
}

TCPPacket* Peer::makeHello(bool answer) {
    int32_t length = theCoreOptions.getUserMetaSize() + (answer ? 11 : 12);
    TCPPacket* p = PeerFrame::start(answer ? OP_HELLO_ANSWER : OP_HELLO, length);
    i4_file& f = p->file();
    if (!answer) f.write_8(PeerFrame::HASH_SIZE);
    theCoreOptions.writeUserMeta(f);
    f.write_32(ownServerIp());
    f.write_16(ownServerPort());
    f.write_32(0);
    // The own record may have changed between its size and its copy.
    p->fixLength();
    uint8_t* payload = static_cast<uint8_t*>(f.memory_at(TCPPacket::HEADER_SIZE));
    trailer(payload, (uint32_t)(p->getSize() - TCPPacket::HEADER_SIZE), trailerSeed(ownDoorPort()));
    return p;
}

void Peer::sendHello() {
    queue(makeHello(false));
}

void Peer::sendHelloAnswer() {
    queue(makeHello(true));
}

void Peer::readHelloTail(i4_file& f) {
    i4_field_reader in(f);
    user.serverIp = in.u32();
    user.serverPort = in.u16();
    // A missing or wrong trailer never refuses the peer: it only marks it.
    user.trailerValid = 0;
    int64_t n = f.tell() + 4;
    if (n > f.size()) return;
    std::vector<uint8_t> bytes((size_t)n);
    int64_t at = f.tell();
    f.seek(0);
    f.readAll(bytes.data(), (int32_t)n);
    f.seek(at);
    user.trailerValid = trailer(bytes.data(), (uint32_t)n, trailerSeed(user.port)) ? 1 : 0;
}

bool Peer::handleFirstPacket(uint8_t opcode, i4_file* payload) {
    idleMs = 1;
    if (opcode == OP_HELLO) return gotHello(*payload);
    if (opcode == OP_HELLO_ANSWER) return gotHelloAnswer(*payload);
    return false;
}

bool Peer::gotHello(i4_file& f) {
    if (i4_field_reader(f).u8() != PeerFrame::HASH_SIZE) return false;
    if (!user.fromNetwork(f)) return false;
    prLevel = user.getTagInt("pr");
    Peer* other = theClientPool.findConnection(&user);
    if (other && other != this) return false;
    setIp(user.ip);
    readHelloTail(f);
    sendHelloAnswer();
    checkAddress();
    theClientPool.addPeer(this);
    return true;
}

bool Peer::gotHelloAnswer(i4_file& f) {
    if (!user.fromNetwork(f)) return false;
    readHelloTail(f);
    prLevel = user.getTagInt("pr");
    setIp(user.ip);
    checkAddress();
    theClientPool.addPeer(this);
    return true;
}

void Peer::checkAddress() {
    if (UserMeta::isLowId(user.ip)) return;
    i4_address* remote = sock ? sock->remote_address() : nullptr;
    uint32_t seen = addressToIP(remote);
    delete remote;
    if (seen != user.ip) queue(PeerFrame::bare(OP_ADDRESS_DIFFERS));
}

// ---- incoming packets

bool Peer::handlePacket(uint8_t opcode, i4_file* payload) {
    idleMs = 1;
    i4_file& f = *payload;
    i4_field_reader in(f);
    uint8_t hash[PeerFrame::HASH_SIZE];
    switch (opcode) {
    case OP_OUT_OF_DATE:
        printLocalized("clientOld",
                       "Either your client or one you are connected to is out of date.");
        return true;
    case OP_DATA:
        return gotData(f);
    case OP_REQUEST_RANGES: {
        in.bytes(hash, PeerFrame::HASH_SIZE);
        uint32_t starts[3], ends[3];
        for (int i = 0; i < 3; i++) starts[i] = in.u32();
        for (int i = 0; i < 3; i++) ends[i] = in.u32();
        services().uploads->handleRequest(this, hash, starts, ends);
        return true;
    }
    case OP_NO_SUCH_FILE:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        services().downloads->noFile(hash, this);
        return true;
    case OP_CANCEL:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        services().uploads->peerCancelled(this);
        return true;
    case OP_HELLO_ANSWER:
        return gotHelloAnswer(f);
    case OP_ID_CHANGE: {
        uint32_t id = in.u32();
        uint32_t serverIp = in.u32();
        setIp(id);
        user.serverIp = serverIp;
        return true;
    }
    case OP_CHAT: {
        i4_string text = PeerFrame::readString(in, MAX_CHAT);
        if (!services().chat->gotMessage(&user, text.c_str())) queue(PeerFrame::bare(OP_NO_CHAT));
        return true;
    }
    case OP_FILE_STATUS_REQUEST:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        sendFileStatus(hash);
        return true;
    case OP_FILE_STATUS:
        return gotFileStatus(f);
    case OP_PART_HASH_REQUEST:
        // This client never sends part hashes.
        return true;
    case OP_PART_HASHES: {
        in.bytes(hash, PeerFrame::HASH_SIZE);
        int64_t at = in.position();
        in.need((int64_t)in.u16() * PeerFrame::HASH_SIZE);
        f.seek(at);
        services().downloads->gotPartHashes(hash, f);
        return true;
    }
    case OP_NO_CHAT:
        services().chat->notAcceptingCalls(&user);
        return true;
    case OP_UPLOAD_REQUEST:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        // Only a shared file earns a place in the queue.
        if (services().shares->isShared(hash))
            services().uploads->enqueue(this, hash);
        else
            sendNoSuchFile(hash);
        return true;
    case OP_SLOT_GRANTED:
        addRef("ICLT_SLOT_OPEN");
        services().downloads->openSlot(this);
        return true;
    case OP_CANCEL_TRANSFER:
        services().uploads->peerCancelled(this);
        return true;
    case OP_OUT_OF_PARTS:
        services().downloads->queued(this);
        return true;
    case OP_FILE_NAME_REQUEST: {
        in.bytes(hash, PeerFrame::HASH_SIZE);
        FileMeta shared;
        if (services().shares->copyShared(hash, &shared)) sendFileName(hash, shared.getName());
        return true;
    }
    case OP_FILE_NAME: {
        in.bytes(hash, PeerFrame::HASH_SIZE);
        i4_string name = PeerFrame::readString(in, MAX_FILE_NAME);
        services().downloads->gotFileName(hash, name.c_str(), this);
        return true;
    }
    case OP_CONNECT_REQUEST: {
        uint32_t target = in.u32();
        uint16_t targetPort = in.u16();
        theClientPool.connectRequested(this, target, targetPort);
        return true;
    }
    case OP_SOURCE_OFFER:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        services().downloads->addSourceFor(hash, &user, this);
        return true;
    case OP_QUEUE_RANK:
        services().downloads->placeInQueue(this, in.u32());
        return true;
    case OP_DIRECTORY_LIST_REQUEST:
        answerShareView(nullptr);
        return true;
    case OP_DIRECTORY_FILES_REQUEST: {
        i4_string directory = PeerFrame::readString(in, MAX_DIRECTORY);
        answerShareView(directory.c_str() ? directory.c_str() : "");
        return true;
    }
    case OP_DIRECTORY_LIST:
        return gotDirectoryList(f);
    case OP_DIRECTORY_FILES:
        return gotDirectoryFiles(f);
    case OP_NO_FILE_VIEW:
        printLocalized("clientDoesntGiveOutFiles", "Client does not give out files");
        theTransferUI->fileListRefused(&user);
        services().friends->setGivesFiles(&user, false);
        return true;
    case OP_PING:
        queue(PeerFrame::bare(OP_PING_ANSWER));
        return true;
    case OP_PING_ANSWER:
        return true;
    case OP_NOTICE:
        if (theNetworkGateway) theNetworkGateway->peerNotice(0);
        return true;
    case OP_PARTNER_REQUEST: {
        in.bytes(hash, PeerFrame::HASH_SIZE);
        services().downloads->addSourceFor(hash, &user, this);
        bool accepted = services().partners->acceptPartner(this, hash);
        queue(PeerFrame::withHash(accepted ? OP_PARTNER_ACCEPTED : OP_PARTNER_DENIED, hash));
        return true;
    }
    case OP_PARTNER_DENIED:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        services().downloads->partnerDenied(hash, this);
        return true;
    case OP_PARTNER_ACCEPTED:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        services().downloads->partnerAccepted(hash, this);
        return true;
    case OP_CRUMB_HASHES: {
        in.bytes(hash, PeerFrame::HASH_SIZE);
        uint32_t size, crumbs;
        if (services().downloads->partialFile(hash, &size, &crumbs))
            services().downloads->gotCrumbHashes(hash, f, this);
        return true;
    }
    case OP_CRUMB_HASH_REQUEST:
        in.bytes(hash, PeerFrame::HASH_SIZE);
        sendCrumbHashes(hash);
        return true;
    case OP_CRUMB_AVAILABLE: {
        in.bytes(hash, PeerFrame::HASH_SIZE);
        uint32_t crumb = in.u32();
        services().downloads->gotCrumbAvailable(hash, this, crumb);
        return true;
    }
    case OP_ADDRESS_DIFFERS:
        if (theNetworkGateway) theNetworkGateway->addressDiffers();
        return true;
    default:
        return TCPConnection::handlePacket(opcode, payload);
    }
}

bool Peer::gotData(i4_file& f) {
    i4_field_reader in(f);
    uint8_t hash[PeerFrame::HASH_SIZE];
    in.bytes(hash, PeerFrame::HASH_SIZE);
    uint32_t start = in.u32();
    uint32_t end = in.u32();
    // A range that ends before it starts carries no data, only trouble.
    if (end < start) return false;
    const uint8_t* data = PeerFrame::readBytes(in, end - start);
    services().downloads->gotData(hash, start, end, data, this);
    return true;
}

bool Peer::gotFileStatus(i4_file& f) {
    i4_field_reader in(f);
    uint8_t hash[PeerFrame::HASH_SIZE];
    in.bytes(hash, PeerFrame::HASH_SIZE);
    BoolArray bits;
    PeerFrame::readBits(in, bits);
    uint32_t size = 0, crumbs = 0;
    if (!services().downloads->partialFile(hash, &size, &crumbs)) return true;

    // Peers count the parts of an exact multiple of the part size either way.
    const FileParts file(size);
    uint32_t parts = (uint32_t)(size / FileParts::PART_SIZE + 1);
    uint32_t partsCeil = (uint32_t)file.partCount();
    uint32_t count = bits.size();
    if (count == 0) {
        bits.resize(crumbs);
        bits.fill(1);
    } else if (count == parts || count == partsCeil) {
        BoolArray spread(crumbs);
        for (uint32_t j = 0; j < crumbs; j++) {
            uint32_t part = (uint32_t)(j / FileParts::CRUMBS_PER_PART);
            if (part < count) spread.set(j, bits.get(part));
        }
        bits = spread;
    } else if (count != crumbs) {
        i4_string text("Peer sent bad file gaps:");
        theXMLStringTable.localize("peerSentBadGaps", text);
        theUI->printLine("%s %s (%d[%d or %d])", text.c_str() ? text.c_str() : "", getName(),
                         (int)count, (int)parts, (int)crumbs);
        return false;
    }
    services().downloads->gotFileStatus(hash, this, &bits);
    return true;
}

bool Peer::gotDirectoryList(i4_file& f) {
    i4_field_reader in(f);
    // Every name takes at least its 2-byte length.
    uint32_t n = in.count32(MAX_DIRECTORIES, 2);
    std::vector<i4_string> read;
    read.reserve(n);
    for (uint32_t i = 0; i < n; i++) read.push_back(PeerFrame::readString(in, MAX_DIRECTORY));
    LL* names = new LL;
    for (i4_string& name : read) names->append(new i4_string(name));
    services().friends->setGivesFiles(&user, true);
    services().friends->gotDirectories(&user, names);
    return true;
}

bool Peer::gotDirectoryFiles(i4_file& f) {
    i4_field_reader in(f);
    i4_string directory = PeerFrame::readString(in, MAX_DIRECTORY);
    services().friends->setGivesFiles(&user, true);
    FileList* files = new FileList;
    bool read = false;
    try {
        read = files->fromNetwork(f);
    } catch (...) {
        read = false;
    }
    if (!read) {
        files->deleteAll();
        delete files;
        return false;
    }
    services().friends->gotFiles(&user, directory.c_str() ? directory.c_str() : "", files);
    return true;
}

void Peer::answerShareView(const char* directory) {
    bool allowed;
    switch (theTransferOptions.frAllow) {
    case 0:
        allowed = true;
        break;
    case 1:
        allowed = services().friends->isFriend(&user);
        break;
    case 2:
        allowed = false;
        break;
    default:
        return;
    }
    if (!allowed)
        sendNoShareView();
    else if (directory)
        sendSharedFiles(directory);
    else
        sendSharedDirectories();
}

// ---- senders

void Peer::requestRanges(const uint8_t hash[16], const uint32_t starts[3], const uint32_t ends[3]) {
    TCPPacket* p = PeerFrame::start(OP_REQUEST_RANGES, 1 + PeerFrame::HASH_SIZE + 24);
    i4_file& f = p->file();
    f.write(hash, PeerFrame::HASH_SIZE);
    for (int i = 0; i < 3; i++) f.write_32(starts[i]);
    for (int i = 0; i < 3; i++) f.write_32(ends[i]);
    queue(p);
}

void Peer::sendNoSuchFile(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(OP_NO_SUCH_FILE, hash));
}

void Peer::sendIdChange() {
    TCPPacket* p = PeerFrame::start(OP_ID_CHANGE, 9);
    p->file().write_32(theCoreOptions.getClientId());
    p->file().write_32(theCoreOptions.getServerIp());
    queue(p);
}

void Peer::sendChat(const char* text) {
    TCPPacket* p = PeerFrame::start(OP_CHAT, 1 + PeerFrame::stringSize(text));
    PeerFrame::writeString(p->file(), text);
    queue(p);
    idleMs = 1;
}

bool Peer::requestFileStatus(const uint8_t hash[16], uint64_t partialFileSize) {
    // A file of at most one bit's worth has nothing to tell.
    uint64_t oneBit = prLevel == 1 ? FileParts::CRUMB_SIZE : FileParts::PART_SIZE;
    if (partialFileSize <= oneBit) return false;
    queue(PeerFrame::withHash(OP_FILE_STATUS_REQUEST, hash));
    return true;
}

void Peer::sendFileStatus(const uint8_t hash[16]) {
    FileMeta shared;
    if (!services().shares->copyShared(hash, &shared)) {
        sendNoSuchFile(hash);
        return;
    }
    BoolArray bits;
    const char* path = shared.getPath();
    bool complete = path && *path;
    if (!complete && !services().downloads->doneBits(hash, prLevel == 1, &bits)) {
        sendNoSuchFile(hash);
        return;
    }
    // The array always counts count/8 + 3 bytes: a complete file's status (count 0) ends with
    // one padding byte, left 0.
    TCPPacket* p =
        PeerFrame::start(OP_FILE_STATUS, (int32_t)(1 + PeerFrame::HASH_SIZE + bits.diskSize()));
    p->file().write(hash, PeerFrame::HASH_SIZE);
    bits.write(p->file());
    queue(p);
}

void Peer::requestHashes(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(prLevel == 1 ? OP_CRUMB_HASH_REQUEST : OP_PART_HASH_REQUEST, hash));
}

void Peer::sendUploadRequest(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(OP_UPLOAD_REQUEST, hash));
}

void Peer::sendSlotGranted() {
    queue(PeerFrame::bare(OP_SLOT_GRANTED));
}

void Peer::sendCancelTransfer() {
    queue(PeerFrame::bare(OP_CANCEL_TRANSFER));
}

void Peer::sendOutOfParts() {
    queue(PeerFrame::bare(OP_OUT_OF_PARTS));
}

void Peer::requestFileName(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(OP_FILE_NAME_REQUEST, hash));
}

void Peer::sendFileName(const uint8_t hash[16], const char* name) {
    TCPPacket* p =
        PeerFrame::start(OP_FILE_NAME, 1 + PeerFrame::HASH_SIZE + PeerFrame::stringSize(name));
    p->file().write(hash, PeerFrame::HASH_SIZE);
    PeerFrame::writeString(p->file(), name);
    queue(p);
}

void Peer::sendConnectRequest(uint32_t targetIp, uint16_t targetPort) {
    TCPPacket* p = PeerFrame::start(OP_CONNECT_REQUEST, 7);
    p->file().write_32(targetIp);
    p->file().write_16(targetPort);
    queue(p);
}

void Peer::sendSourceOffer(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(OP_SOURCE_OFFER, hash));
}

void Peer::sendQueueRank(uint32_t rank) {
    TCPPacket* p = PeerFrame::start(OP_QUEUE_RANK, 5);
    p->file().write_32(rank);
    queue(p);
}

void Peer::requestSharedFiles(const char* directory) {
    if (!directory) {
        queue(PeerFrame::bare(OP_DIRECTORY_LIST_REQUEST));
        return;
    }
    TCPPacket* p =
        PeerFrame::start(OP_DIRECTORY_FILES_REQUEST, 1 + PeerFrame::stringSize(directory));
    PeerFrame::writeString(p->file(), directory);
    queue(p);
}

void Peer::sendSharedDirectories() {
    theUI->log("Sending Shared Directory List: %s", getName());
    LL names;
    services().shares->getSharedDirectories(&names);
    names.append(new i4_string(kIncompleteFiles));
    std::vector<i4_string*> listed;
    int32_t length = 1 + 4;
    while (i4_string* name = static_cast<i4_string*>(names.removeAt(0))) {
        FileList* files = services().shares->findSharedDirectory(name->c_str());
        if (files && files->getList()->count() > 0) {
            listed.push_back(name);
            length += PeerFrame::stringSize(name->c_str());
        } else {
            delete name;
        }
    }
    TCPPacket* p = PeerFrame::start(OP_DIRECTORY_LIST, length);
    p->file().write_32((uint32_t)listed.size());
    for (i4_string* name : listed) {
        PeerFrame::writeString(p->file(), name->c_str());
        delete name;
    }
    queue(p);
}

void Peer::sendSharedFiles(const char* directory) {
    theUI->log("Sending Shared File List (%s): %s", directory, getName());
    FileList* files = services().shares->findSharedDirectory(directory);
    if (!files) return;
    FileList copies;
    copies.copyFrom(files);
    for (FileMeta* m : LLView<FileMeta>(copies.getList())) m->stripTransientTags();
    if (copies.getList()->count() > 0) {
        TCPPacket* p = PeerFrame::start(OP_DIRECTORY_FILES,
                                        1 + PeerFrame::stringSize(directory) + copies.size());
        PeerFrame::writeString(p->file(), directory);
        copies.toNetwork(p->file());
        queue(p);
    }
    copies.deleteAll();
}

void Peer::sendNoShareView() {
    queue(PeerFrame::bare(OP_NO_FILE_VIEW));
}

void Peer::sendPing() {
    queue(PeerFrame::bare(OP_PING));
    idleMs = 1;
}

void Peer::sendNotice() {
    queue(PeerFrame::bare(OP_NOTICE));
}

void Peer::sendPartnerRequest(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(OP_PARTNER_REQUEST, hash));
}

void Peer::sendCrumbHashes(const uint8_t hash[16]) {
    FileMeta shared;
    if (!services().shares->copyShared(hash, &shared)) {
        sendNoSuchFile(hash);
        return;
    }
    TCPPacket* p =
        PeerFrame::start(OP_CRUMB_HASHES, 1 + PeerFrame::HASH_SIZE + shared.hashSetsSize());
    p->file().write(hash, PeerFrame::HASH_SIZE);
    shared.writeHashSets(p->file());
    queue(p);
}

void Peer::sendCrumbAvailable(const uint8_t hash[16], uint32_t crumb) {
    TCPPacket* p = PeerFrame::start(OP_CRUMB_AVAILABLE, 1 + PeerFrame::HASH_SIZE + 4);
    p->file().write(hash, PeerFrame::HASH_SIZE);
    p->file().write_32(crumb);
    queue(p);
}
