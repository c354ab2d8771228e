// layer: transfer
// fuzz flags: -len_control=0
// Frames from a hostile peer, handed to a peer connection's handlers as its pass would:
// [u8 mode] then frames [u8 opcode][u16 length][payload]. Mode bit 0 says a good hello
// first, so the frames reach the handlers of an open connection; otherwise the first frame
// is the first packet. Mode bit 1 has every other side say yes (a download with a partial
// file, shared files complete and partial, a shared directory, a friend, chat and partner
// accepted), so the handlers go as deep as they can. Mode bit 7 hands directory lists and
// chat to the real friend list and chat sessions instead, with the peer made a friend after
// its hello and "pmAllow" from the same bits as "frAllow". A handler may fail with the read error
// (the connection would be dropped) but never read outside its payload.
#include <stdint.h>
#include <string>
#include <vector>

#include "core/UIGateway.h"
#include "fuzz/fuzz_packets.h"
#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_null_file_class.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_err.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "transfer/friends/FriendList.h"
#include "transfer/friends/MessagePool.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/peer/PeerChat.h"
#include "transfer/peer/PeerDownloads.h"
#include "transfer/peer/PeerFriends.h"
#include "transfer/peer/PeerHello.h"
#include "transfer/peer/PeerPartners.h"
#include "transfer/peer/PeerShares.h"
#include "transfer/share/TransferOptions.h"
#include "util/BoolArray.h"

namespace {

// Says yes to everything, with a file size the input picks.
struct Willing : PeerDownloads, PeerShares, PeerFriends, PeerChat, PeerPartners {
    uint32_t size = 0;
    bool partialFile(const uint8_t*, uint32_t* s, uint32_t* crumbs) override {
        *s = size;
        *crumbs = (uint32_t)FileParts(size).crumbCount();
        return true;
    }
    bool doneBits(const uint8_t*, bool crumbs, BoolArray* out) override {
        out->resize(crumbs ? (uint32_t)FileParts(size).crumbCount() : size / 9728000 + 1);
        return true;
    }
    void gotFileStatus(const uint8_t*, Peer*, BoolArray* bits) override {
        uint32_t s, crumbs;
        partialFile(nullptr, &s, &crumbs);
        if (bits->size() != crumbs) __builtin_trap();
    }
    void gotData(const uint8_t*, uint32_t start, uint32_t end, const uint8_t* data,
                 Peer*) override {
        // Every byte of the block must be readable.
        volatile uint8_t sum = 0;
        for (uint32_t i = start; i < end; i++) sum = sum + data[i - start];
    }
    void gotCrumbHashes(const uint8_t*, i4_file& f, Peer*) override {
        FileMeta record;
        record.setFileSize(size);
        record.readHashSets(f);
    }
    void gotPartHashes(const uint8_t*, i4_file& f) override {
        FileMeta record;
        record.setFileSize(size);
        record.readPartHashesChecked(f);
    }
    bool isShared(const uint8_t*) override { return true; }
    bool copyShared(const uint8_t* hash, FileMeta* out) override {
        out->setFileHash(hash);
        out->setName("shared.ogg");
        out->setFileSize(size);
        out->setPath(hash[0] & 1 ? "/share/shared.ogg" : "");
        return true;
    }
    void getSharedDirectories(LL* names) override { names->append(new i4_string("/share")); }
    FileList* findSharedDirectory(const char*) override { return &directory; }
    bool isFriend(UserMeta*) override { return true; }
    bool gotMessage(UserMeta*, const char*) override { return true; }
    bool acceptPartner(Peer*, const uint8_t*) override { return true; }
    FileList directory;
};

std::string goodHello() {
    std::string body = "\x01\x10";
    body += std::string(16, '\x42');
    body += std::string("\x0b\x0a\x09\x08", 4);  // id 8.9.10.11
    body += std::string("\x36\x12", 2);          // port 4662
    body += std::string("\x01\0\0\0", 4);        // one tag: "pr" = 1
    body += std::string("\x03\x02\x00pr\x01\0\0\0", 9);
    body += std::string(6, '\0');  // no server
    std::string sent = body + std::string(4, '\0');
    PeerHello::trailer(reinterpret_cast<uint8_t*>(&sent[0]), (uint32_t)sent.size(),
                       PeerHello::trailerSeed(4662));
    return sent;
}

// Hands one payload (opcode first) to the peer as the connection's dispatch does.
bool deliver(Peer* peer, const std::string& payload, bool first) {
    std::vector<uint8_t> copy(payload.begin(), payload.end());
    i4_ram_file_class f(copy.empty() ? nullptr : copy.data(), (int32_t)copy.size(), 0);
    try {
        uint8_t opcode = f.read_8();
        return first ? peer->handleFirstPacket(opcode, &f) : peer->handlePacket(opcode, &f);
    } catch (const i4_err&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = false;
    static i4_null_file_class nowhere;
    static Willing willing;
    if (!ready) {
        ready = true;
        metaFuzzSetup();
        theUI->setOutput(&nowhere);
        static FileMeta song;
        song.setName("song.ogg");
        song.setFileSize(1234);
        willing.directory.add(&song);
    }
    if (size < 1) return 0;
    uint8_t mode = data[0];
    PeerDownloads* savedDownloads = theClientPool.services().downloads;
    PeerShares* savedShares = theClientPool.services().shares;
    PeerFriends* savedFriends = theClientPool.services().friends;
    PeerChat* savedChat = theClientPool.services().chat;
    PeerPartners* savedPartners = theClientPool.services().partners;
    if (mode & 2) {
        theClientPool.services().downloads = &willing;
        theClientPool.services().shares = &willing;
        theClientPool.services().friends = &willing;
        theClientPool.services().chat = &willing;
        theClientPool.services().partners = &willing;
        // Sizes around the part and crumb edges, from the mode's upper bits.
        static const uint32_t sizes[] = {0, 1, 100, 486400, 486401, 9728000, 9728001, 20000000};
        willing.size = sizes[(mode >> 2) & 7];
    }
    theTransferOptions.frAllow = (mode >> 5) & 3;
    bool realFriends = mode & 0x80;
    if (realFriends) {
        theClientPool.services().friends = &theFriendList.peerAnswer;
        theClientPool.services().chat = &theMessagePool.peerAnswer;
        theTransferOptions.pmAllow = (mode >> 5) & 3;
    }

    Peer* peer = new Peer(0x0100007F, 4662, true);
    bool open = true;
    bool first = true;
    if (mode & 1) {
        open = deliver(peer, goodHello(), true);
        first = false;
        if (open && realFriends) theFriendList.addFriend(peer->getUser());
    }
    if (open)
        forEachPacket(data, size, 1, [&](const std::string& payload) {
            bool stays = deliver(peer, payload, first);
            first = false;
            return stays;
        });
    if (realFriends) {
        // As the client pool tells its listeners when a connection ends.
        theFriendList.peerClosed(peer);
        theMessagePool.peerClosed(peer);
    }
    delete peer;
    theFriendList.clear();
    theMessagePool.clear();
    theTransferOptions.frAllow = 0;
    theTransferOptions.pmAllow = 0;
    theClientPool.services().downloads = savedDownloads;
    theClientPool.services().shares = savedShares;
    theClientPool.services().friends = savedFriends;
    theClientPool.services().chat = savedChat;
    theClientPool.services().partners = savedPartners;
    if (theClientPool.count() != 0) __builtin_trap();
    return 0;
}
