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
#include "transfer/peer/PeerHello.h"
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

// The entry of a route table for an opcode, null when it has none.
template <typename Route, size_t N>
const Route* routeFor(const Route (&table)[N], uint8_t opcode) {
    for (const Route& route : table)
        if (route.opcode == opcode) return &route;
    return nullptr;
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

void Peer::sendHello() {
    queue(PeerHello::write(false, ownServerIp(), ownServerPort(), ownDoorPort()));
}

void Peer::sendHelloAnswer() {
    queue(PeerHello::write(true, ownServerIp(), ownServerPort(), ownDoorPort()));
}

bool Peer::gotHello(const uint8_t*, i4_field_reader& in) {
    if (!PeerHello::readHead(in, false, user)) return false;
    prLevel = user.getTagInt("pr");
    Peer* other = theClientPool.findConnection(&user);
    if (other && other != this) return false;
    setIp(user.ip);
    PeerHello::readTail(in, user);
    sendHelloAnswer();
    checkAddress();
    theClientPool.addPeer(this);
    return true;
}

bool Peer::gotHelloAnswer(const uint8_t*, i4_field_reader& in) {
    if (!PeerHello::readHead(in, true, user)) return false;
    PeerHello::readTail(in, user);
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

const Peer::Route Peer::FIRST_ROUTES[] = {
    {OP_HELLO, false, &Peer::gotHello},
    {OP_HELLO_ANSWER, false, &Peer::gotHelloAnswer},
};

// A hello after the first packet is not here: the base reports it as unknown.
const Peer::Route Peer::ROUTES[] = {
    {OP_OUT_OF_DATE, false, &Peer::gotOutOfDate},
    {OP_DATA, true, &Peer::gotData},
    {OP_REQUEST_RANGES, true, &Peer::gotRangeRequest},
    {OP_NO_SUCH_FILE, true, &Peer::gotNoSuchFile},
    {OP_CANCEL, true, &Peer::gotCancel},
    {OP_HELLO_ANSWER, false, &Peer::gotHelloAnswer},
    {OP_ID_CHANGE, false, &Peer::gotIdChange},
    {OP_CHAT, false, &Peer::gotChat},
    {OP_FILE_STATUS_REQUEST, true, &Peer::gotFileStatusRequest},
    {OP_FILE_STATUS, true, &Peer::gotFileStatus},
    // Its hash is not even read: a short one passes.
    {OP_PART_HASH_REQUEST, false, &Peer::ignore},
    {OP_PART_HASHES, true, &Peer::gotPartHashes},
    {OP_NO_CHAT, false, &Peer::gotNoChat},
    {OP_UPLOAD_REQUEST, true, &Peer::gotUploadRequest},
    {OP_SLOT_GRANTED, false, &Peer::gotSlotGranted},
    {OP_CANCEL_TRANSFER, false, &Peer::gotCancel},
    {OP_OUT_OF_PARTS, false, &Peer::gotOutOfParts},
    {OP_FILE_NAME_REQUEST, true, &Peer::gotFileNameRequest},
    {OP_FILE_NAME, true, &Peer::gotFileName},
    {OP_CONNECT_REQUEST, false, &Peer::gotConnectRequest},
    {OP_SOURCE_OFFER, true, &Peer::gotSourceOffer},
    {OP_QUEUE_RANK, false, &Peer::gotQueueRank},
    {OP_DIRECTORY_LIST_REQUEST, false, &Peer::gotDirectoryListRequest},
    {OP_DIRECTORY_FILES_REQUEST, false, &Peer::gotDirectoryFilesRequest},
    {OP_DIRECTORY_LIST, false, &Peer::gotDirectoryList},
    {OP_DIRECTORY_FILES, false, &Peer::gotDirectoryFiles},
    {OP_NO_FILE_VIEW, false, &Peer::gotNoFileView},
    {OP_PING, false, &Peer::gotPing},
    {OP_PING_ANSWER, false, &Peer::ignore},
    {OP_NOTICE, false, &Peer::gotNotice},
    {OP_PARTNER_REQUEST, true, &Peer::gotPartnerRequest},
    {OP_PARTNER_DENIED, true, &Peer::gotPartnerDenied},
    {OP_PARTNER_ACCEPTED, true, &Peer::gotPartnerAccepted},
    {OP_CRUMB_HASHES, true, &Peer::gotCrumbHashes},
    {OP_CRUMB_HASH_REQUEST, true, &Peer::gotCrumbHashRequest},
    {OP_CRUMB_AVAILABLE, true, &Peer::gotCrumbAvailable},
    {OP_ADDRESS_DIFFERS, false, &Peer::gotAddressDiffers},
};

bool Peer::handleFirstPacket(uint8_t opcode, i4_file* payload) {
    idleMs = 1;
    const Route* route = routeFor(FIRST_ROUTES, opcode);
    return route && run(*route, *payload);
}

bool Peer::handlePacket(uint8_t opcode, i4_file* payload) {
    idleMs = 1;
    const Route* route = routeFor(ROUTES, opcode);
    if (!route) return TCPConnection::handlePacket(opcode, payload);
    return run(*route, *payload);
}

bool Peer::run(const Route& route, i4_file& payload) {
    i4_field_reader in(payload);
    uint8_t hash[PeerFrame::HASH_SIZE];
    if (route.aboutFile) PeerFrame::readHash(in, hash);
    return (this->*route.handle)(route.aboutFile ? hash : nullptr, in);
}

bool Peer::ignore(const uint8_t*, i4_field_reader&) {
    return true;
}

bool Peer::gotOutOfDate(const uint8_t*, i4_field_reader&) {
    printLocalized("clientOld", "Either your client or one you are connected to is out of date.");
    return true;
}

bool Peer::gotData(const uint8_t* hash, i4_field_reader& in) {
    PeerFrame::Data data;
    if (!PeerFrame::readData(in, data)) return false;
    services().downloads->gotData(hash, data.start, data.end, data.bytes, this);
    return true;
}

bool Peer::gotRangeRequest(const uint8_t* hash, i4_field_reader& in) {
    PeerFrame::Ranges r = PeerFrame::readRanges(in);
    services().uploads->handleRequest(this, hash, r.starts, r.ends);
    return true;
}

bool Peer::gotNoSuchFile(const uint8_t* hash, i4_field_reader&) {
    services().downloads->noFile(hash, this);
    return true;
}

bool Peer::gotCancel(const uint8_t*, i4_field_reader&) {
    services().uploads->peerCancelled(this);
    return true;
}

bool Peer::gotIdChange(const uint8_t*, i4_field_reader& in) {
    PeerFrame::IdChange change = PeerFrame::readIdChange(in);
    setIp(change.id);
    user.serverIp = change.serverIp;
    return true;
}

bool Peer::gotChat(const uint8_t*, i4_field_reader& in) {
    i4_string text = PeerFrame::readChat(in);
    if (!services().chat->gotMessage(&user, text.c_str())) queue(PeerFrame::bare(OP_NO_CHAT));
    return true;
}

bool Peer::gotFileStatusRequest(const uint8_t* hash, i4_field_reader&) {
    sendFileStatus(hash);
    return true;
}

bool Peer::gotFileStatus(const uint8_t* hash, i4_field_reader& in) {
    BoolArray bits;
    PeerFrame::readFileStatus(in, bits);
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
            uint32_t part = (uint32_t)FileParts::partOfCrumb(j);
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

bool Peer::gotPartHashes(const uint8_t* hash, i4_field_reader& in) {
    PeerFrame::checkPartHashes(in);
    services().downloads->gotPartHashes(hash, in.file());
    return true;
}

bool Peer::gotNoChat(const uint8_t*, i4_field_reader&) {
    services().chat->notAcceptingCalls(&user);
    return true;
}

bool Peer::gotUploadRequest(const uint8_t* hash, i4_field_reader&) {
    // Only a shared file earns a place in the queue.
    if (services().shares->isShared(hash))
        services().uploads->enqueue(this, hash);
    else
        sendNoSuchFile(hash);
    return true;
}

bool Peer::gotSlotGranted(const uint8_t*, i4_field_reader&) {
    addRef("ICLT_SLOT_OPEN");
    services().downloads->openSlot(this);
    return true;
}

bool Peer::gotOutOfParts(const uint8_t*, i4_field_reader&) {
    services().downloads->queued(this);
    return true;
}

bool Peer::gotFileNameRequest(const uint8_t* hash, i4_field_reader&) {
    FileMeta shared;
    if (services().shares->copyShared(hash, &shared)) sendFileName(hash, shared.getName());
    return true;
}

bool Peer::gotFileName(const uint8_t* hash, i4_field_reader& in) {
    i4_string name = PeerFrame::readFileName(in);
    services().downloads->gotFileName(hash, name.c_str(), this);
    return true;
}

bool Peer::gotConnectRequest(const uint8_t*, i4_field_reader& in) {
    PeerFrame::Address target = PeerFrame::readConnectRequest(in);
    theClientPool.connectRequested(this, target.ip, target.port);
    return true;
}

bool Peer::gotSourceOffer(const uint8_t* hash, i4_field_reader&) {
    services().downloads->addSourceFor(hash, &user, this);
    return true;
}

bool Peer::gotQueueRank(const uint8_t*, i4_field_reader& in) {
    services().downloads->placeInQueue(this, PeerFrame::readQueueRank(in));
    return true;
}

bool Peer::gotDirectoryListRequest(const uint8_t*, i4_field_reader&) {
    answerShareView(nullptr);
    return true;
}

bool Peer::gotDirectoryFilesRequest(const uint8_t*, i4_field_reader& in) {
    i4_string directory = PeerFrame::readDirectory(in);
    answerShareView(directory.c_str() ? directory.c_str() : "");
    return true;
}

bool Peer::gotDirectoryList(const uint8_t*, i4_field_reader& in) {
    std::vector<i4_string> read = PeerFrame::readDirectoryList(in);
    LL* names = new LL;
    for (i4_string& name : read) names->append(new i4_string(name));
    services().friends->setGivesFiles(&user, true);
    services().friends->gotDirectories(&user, names);
    return true;
}

bool Peer::gotDirectoryFiles(const uint8_t*, i4_field_reader& in) {
    i4_string directory = PeerFrame::readDirectory(in);
    services().friends->setGivesFiles(&user, true);
    FileList* files = new FileList;
    if (!PeerFrame::readFileList(in, *files)) {
        files->deleteAll();
        delete files;
        return false;
    }
    services().friends->gotFiles(&user, directory.c_str() ? directory.c_str() : "", files);
    return true;
}

bool Peer::gotNoFileView(const uint8_t*, i4_field_reader&) {
    printLocalized("clientDoesntGiveOutFiles", "Client does not give out files");
    theTransferUI->fileListRefused(&user);
    services().friends->setGivesFiles(&user, false);
    return true;
}

bool Peer::gotPing(const uint8_t*, i4_field_reader&) {
    queue(PeerFrame::bare(OP_PING_ANSWER));
    return true;
}

bool Peer::gotNotice(const uint8_t*, i4_field_reader&) {
    if (theNetworkGateway) theNetworkGateway->peerNotice(0);
    return true;
}

bool Peer::gotPartnerRequest(const uint8_t* hash, i4_field_reader&) {
    services().downloads->addSourceFor(hash, &user, this);
    bool accepted = services().partners->acceptPartner(this, hash);
    queue(PeerFrame::withHash(accepted ? OP_PARTNER_ACCEPTED : OP_PARTNER_DENIED, hash));
    return true;
}

bool Peer::gotPartnerDenied(const uint8_t* hash, i4_field_reader&) {
    services().downloads->partnerDenied(hash, this);
    return true;
}

bool Peer::gotPartnerAccepted(const uint8_t* hash, i4_field_reader&) {
    services().downloads->partnerAccepted(hash, this);
    return true;
}

bool Peer::gotCrumbHashes(const uint8_t* hash, i4_field_reader& in) {
    uint32_t size, crumbs;
    if (services().downloads->partialFile(hash, &size, &crumbs))
        services().downloads->gotCrumbHashes(hash, in.file(), this);
    return true;
}

bool Peer::gotCrumbHashRequest(const uint8_t* hash, i4_field_reader&) {
    sendCrumbHashes(hash);
    return true;
}

bool Peer::gotCrumbAvailable(const uint8_t* hash, i4_field_reader& in) {
    services().downloads->gotCrumbAvailable(hash, this, PeerFrame::readCrumbAvailable(in));
    return true;
}

bool Peer::gotAddressDiffers(const uint8_t*, i4_field_reader&) {
    if (theNetworkGateway) theNetworkGateway->addressDiffers();
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
    queue(PeerFrame::ranges(hash, starts, ends));
}

void Peer::sendNoSuchFile(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(OP_NO_SUCH_FILE, hash));
}

void Peer::sendIdChange() {
    queue(PeerFrame::idChange(theCoreOptions.getClientId(), theCoreOptions.getServerIp()));
}

void Peer::sendChat(const char* text) {
    queue(PeerFrame::chat(text));
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
    // A complete file's status has no bits.
    queue(PeerFrame::fileStatus(hash, bits));
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
    queue(PeerFrame::fileName(hash, name));
}

void Peer::sendConnectRequest(uint32_t targetIp, uint16_t targetPort) {
    queue(PeerFrame::connectRequest(targetIp, targetPort));
}

void Peer::sendSourceOffer(const uint8_t hash[16]) {
    queue(PeerFrame::withHash(OP_SOURCE_OFFER, hash));
}

void Peer::sendQueueRank(uint32_t rank) {
    queue(PeerFrame::queueRank(rank));
}

void Peer::requestSharedFiles(const char* directory) {
    queue(directory ? PeerFrame::directoryFilesRequest(directory)
                    : PeerFrame::bare(OP_DIRECTORY_LIST_REQUEST));
}

void Peer::sendSharedDirectories() {
    theUI->log("Sending Shared Directory List: %s", getName());
    LL names;
    services().shares->getSharedDirectories(&names);
    names.append(new i4_string(kIncompleteFiles));
    std::vector<i4_string> listed;
    while (i4_string* name = static_cast<i4_string*>(names.removeAt(0))) {
        FileList* files = services().shares->findSharedDirectory(name->c_str());
        if (files && files->getList()->count() > 0) listed.push_back(*name);
        delete name;
    }
    queue(PeerFrame::directoryList(listed));
}

void Peer::sendSharedFiles(const char* directory) {
    theUI->log("Sending Shared File List (%s): %s", directory, getName());
    FileList* files = services().shares->findSharedDirectory(directory);
    if (!files) return;
    FileList copies;
    copies.copyFrom(files);
    for (FileMeta* m : LLView<FileMeta>(copies.getList())) m->stripTransientTags();
    if (copies.getList()->count() > 0) queue(PeerFrame::directoryFiles(directory, copies));
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
    queue(PeerFrame::crumbHashes(hash, shared));
}

void Peer::sendCrumbAvailable(const uint8_t hash[16], uint32_t crumb) {
    queue(PeerFrame::crumbAvailable(hash, crumb));
}
