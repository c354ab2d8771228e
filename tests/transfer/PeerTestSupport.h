// Helpers of the peer tests: frames and hellos built byte by byte from the protocol's
// tables (not from the code under test), a recorder standing in for the downloads, shares,
// uploads, friends, chat and partners, and a harness that runs a real socket pool with a
// peer door on loopback, whose clients play scripted peers. Every wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "core/Core.h"
#include "core/CoreNetwork.h"
#include "core/CoreOptions.h"
#include "core/ProtocolHolder.h"
#include "i4min/net/i4_address.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "net/Connector.h"
#include "net/NetTestSupport.h"
#include "net/STSocketPool.h"
#include "support/Waiting.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/peer/PeerChat.h"
#include "transfer/peer/PeerDoor.h"
#include "transfer/peer/PeerDownloads.h"
#include "transfer/peer/PeerFriends.h"
#include "transfer/peer/PeerPartners.h"
#include "transfer/peer/PeerShares.h"
#include "transfer/peer/PeerUploads.h"
#include "transfer/share/TransferOptions.h"
#include "util/BoolArray.h"
#include "util/LL.h"
#include "util/LLView.h"

namespace peertest {

const uint32_t LOOPBACK_IP = 0x0100007Fu;  // 127.0.0.1, first octet lowest

inline std::string le16(uint16_t v) {
    return std::string{(char)(v & 0xff), (char)(v >> 8)};
}

inline std::string hashOf(uint8_t seed) {
    std::string h;
    for (int i = 0; i < 16; i++) h += (char)(seed + i);
    return h;
}

inline const uint8_t* raw(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// The hello trailer, written here from the formula on its own: the four bytes that follow
// body (opcode byte first), seeded with a door port read as signed 16 bits.
inline std::string referenceTrailer(const std::string& body, uint16_t seedPort) {
    long s = (int16_t)seedPort;
    std::vector<int> p(body.begin(), body.end());
    for (int& b : p) b &= 0xFF;
    p.resize(p.size() + 4, 0);
    long n = (long)p.size();
    int c = p[0], d = 0;
    for (long i = 0; i + 1 < n; i++) {
        long next = s * 8147 + 6281;
        s = next < 0 ? -((-next) % 255) : next % 255;  // the sign of the dividend
        int t = (p[i] + 7529) % 255;
        c = ((((c + d) & 0xFF) ^ t) - (int)s) & 0xFF;
        d = c;
        if (i >= n - 5) p[i + 1] = c;
    }
    std::string out;
    for (long i = n - 4; i < n; i++) out += (char)p[i];
    return out;
}

inline std::string tagInt(const std::string& name, uint32_t v) {
    return std::string(1, '\x03') + le16((uint16_t)name.size()) + name + le32(v);
}

inline std::string tagString(const std::string& name, const std::string& text) {
    return std::string(1, '\x02') + le16((uint16_t)name.size()) + name +
           le16((uint16_t)text.size()) + text;
}

// A user record's wire form: hash, id, port, tags (name, version 10501, "pr").
inline std::string userRecord(const std::string& hash, uint32_t ip, uint16_t port,
                              const std::string& name, int pr = 1) {
    std::vector<std::string> tags = {tagString("\x01", name), tagInt("\x11", 10501)};
    if (pr >= 0) tags.push_back(tagInt("pr", (uint32_t)pr));
    std::string r = hash + le32(ip) + le16(port) + le32((uint32_t)tags.size());
    for (auto& t : tags) r += t;
    return r;
}

// A user record as a peer's hello would give it; seed 0 leaves the user hash all zeros.
inline UserMeta user(uint32_t ip, uint16_t port, uint8_t hashSeed, const char* name) {
    UserMeta u;
    u.ip = ip;
    u.port = port;
    if (hashSeed) memcpy(u.hash, raw(hashOf(hashSeed)), 16);
    u.setName(name);
    return u;
}

// Outgoing connects of the connection pool recorded instead of made, for one test.
struct RecordedConnects {
    RecordedConnects() {
        theClientPool.setStarter([this](Peer* p) {
            ports.push_back(p->getPort());
            delete p;  // stands for the connect thread, which owns it from here
            return 1;
        });
    }
    ~RecordedConnects() { theClientPool.setStarter(nullptr); }
    std::vector<int> ports;
};

// Opcode 1 (or 76) without its trailer.
inline std::string helloBody(const std::string& record, bool answer, uint32_t serverIp = 0,
                             uint16_t serverPort = 0) {
    std::string b(1, (char)(answer ? 76 : 1));
    if (!answer) b += '\x10';
    return b + record + le32(serverIp) + le16(serverPort);
}

inline std::string rawFrame(const std::string& payload) {
    return std::string(1, '\xE3') + le32((uint32_t)payload.size()) + payload;
}

// What the other sides were told, as "name:detail" lines, and what they answer.
struct Sides : PeerDownloads, PeerShares, PeerUploads, PeerFriends, PeerChat, PeerPartners {
    std::vector<std::string> calls;
    // Downloads with a partial file: hash -> {size, crumbs}; done bits per hash.
    std::map<std::string, std::pair<uint32_t, uint32_t>> partials;
    std::map<std::string, BoolArray> done;
    std::vector<BoolArray> statuses;  // the crumb arrays handed on by opcode 80
    std::map<std::string, FileMeta*> shared;
    std::map<std::string, FileList*> directories;
    std::vector<std::string> directoryOrder;
    bool friendly = false;
    bool takesChat = false;
    bool acceptsPartner = false;
    bool takesSlot = false;

    ~Sides() override {
        for (auto& s : shared) delete s.second;
        for (auto& d : directories) {
            d.second->deleteAll();
            delete d.second;
        }
    }
    static std::string key(const uint8_t* h) { return std::string((const char*)h, 16); }
    void share(const std::string& hash, const char* name, uint32_t size, const char* path) {
        FileMeta* m = new FileMeta;
        m->setFileHash(raw(hash));
        m->setName(name);
        m->setFileSize(size);
        m->setPath(path);
        shared[hash] = m;
    }
    bool has(const std::string& call) const {
        for (auto& c : calls)
            if (c == call) return true;
        return false;
    }

    bool partialFile(const uint8_t hash[16], uint32_t* size, uint32_t* crumbs) override {
        auto it = partials.find(key(hash));
        if (it == partials.end()) return false;
        *size = it->second.first;
        *crumbs = it->second.second;
        return true;
    }
    bool doneBits(const uint8_t hash[16], bool crumbs, BoolArray* out) override {
        calls.push_back(std::string("doneBits:") + (crumbs ? "crumbs" : "parts"));
        auto it = done.find(key(hash));
        if (it == done.end()) return false;
        *out = it->second;
        return true;
    }
    void gotData(const uint8_t*, uint32_t start, uint32_t end, const uint8_t* data,
                 Peer*) override {
        calls.push_back("data:" + std::to_string(start) + "-" + std::to_string(end) + ":" +
                        std::string((const char*)data, end - start));
    }
    void noFile(const uint8_t*, Peer*) override { calls.push_back("noFile"); }
    void gotFileStatus(const uint8_t*, Peer*, BoolArray* bits) override {
        calls.push_back("fileStatus");
        statuses.push_back(*bits);
    }
    void gotPartHashes(const uint8_t*, i4_file&) override { calls.push_back("partHashes"); }
    void gotCrumbHashes(const uint8_t*, i4_file&, Peer*) override {
        calls.push_back("crumbHashes");
    }
    void gotFileName(const uint8_t*, const char* name, Peer*) override {
        calls.push_back(std::string("fileName:") + name);
    }
    void partnerAccepted(const uint8_t*, Peer*) override { calls.push_back("partnerAccepted"); }
    void partnerDenied(const uint8_t*, Peer*) override { calls.push_back("partnerDenied"); }
    void gotCrumbAvailable(const uint8_t*, Peer*, uint32_t crumb) override {
        calls.push_back("crumbAvailable:" + std::to_string(crumb));
    }
    void addSourceFor(const uint8_t*, UserMeta*, Peer*) override { calls.push_back("addSource"); }
    void openSlot(Peer* from) override {
        calls.push_back("openSlot:" + std::to_string(from->refCount()));
        if (!takesSlot) PeerDownloads::openSlot(from);
    }
    void queued(Peer*) override { calls.push_back("queued"); }
    void placeInQueue(Peer* from, uint32_t rank) override {
        calls.push_back("rank:" + std::to_string(rank));
        PeerDownloads::placeInQueue(from, rank);
    }

    bool isShared(const uint8_t hash[16]) override { return shared.count(key(hash)) > 0; }
    bool copyShared(const uint8_t hash[16], FileMeta* out) override {
        auto it = shared.find(key(hash));
        if (it == shared.end()) return false;
        out->copyFrom(it->second);
        return true;
    }
    void getSharedDirectories(LL* names) override {
        for (auto& n : directoryOrder) names->append(new i4_string(n.c_str()));
    }
    FileList* findSharedDirectory(const char* name) override {
        auto it = directories.find(name);
        return it == directories.end() ? nullptr : it->second;
    }

    void handleRequest(Peer*, const uint8_t*, const uint32_t* s, const uint32_t* e) override {
        calls.push_back("ranges:" + std::to_string(s[0]) + "-" + std::to_string(e[0]) + "," +
                        std::to_string(s[2]) + "-" + std::to_string(e[2]));
    }
    void peerCancelled(Peer*) override { calls.push_back("cancelled"); }
    void enqueue(Peer*, const uint8_t*) override { calls.push_back("enqueue"); }

    bool isFriend(UserMeta*) override { return friendly; }
    void setGivesFiles(UserMeta*, bool gives) override {
        calls.push_back(std::string("givesFiles:") + (gives ? "1" : "0"));
    }
    void gotDirectories(UserMeta* user, LL* names) override {
        std::string line = "directories:";
        for (i4_string* n : LLView<i4_string>(names)) line += std::string(n->c_str()) + ";";
        calls.push_back(line);
        PeerFriends::gotDirectories(user, names);
    }
    void gotFiles(UserMeta* user, const char* directory, FileList* files) override {
        calls.push_back(std::string("files:") + directory + ":" +
                        std::to_string(files->getList()->count()));
        PeerFriends::gotFiles(user, directory, files);
    }

    bool gotMessage(UserMeta*, const char* text) override {
        calls.push_back(std::string("chat:") + text);
        return takesChat;
    }
    void notAcceptingCalls(UserMeta*) override { calls.push_back("notAccepting"); }

    bool acceptPartner(Peer*, const uint8_t*) override {
        calls.push_back("acceptPartner");
        return acceptsPartner;
    }
};

// Points every side at the recorder for one test.
struct SidesScope {
    explicit SidesScope(Sides& s)
        : d(theClientPool.services().downloads),
          sh(theClientPool.services().shares),
          u(theClientPool.services().uploads),
          f(theClientPool.services().friends),
          c(theClientPool.services().chat),
          p(theClientPool.services().partners) {
        theClientPool.services().downloads = &s;
        theClientPool.services().shares = &s;
        theClientPool.services().uploads = &s;
        theClientPool.services().friends = &s;
        theClientPool.services().chat = &s;
        theClientPool.services().partners = &s;
    }
    ~SidesScope() {
        theClientPool.services().downloads = d;
        theClientPool.services().shares = sh;
        theClientPool.services().uploads = u;
        theClientPool.services().friends = f;
        theClientPool.services().chat = c;
        theClientPool.services().partners = p;
    }
    PeerDownloads* d;
    PeerShares* sh;
    PeerUploads* u;
    PeerFriends* f;
    PeerChat* c;
    PeerPartners* p;
};

// The core's count of connections: the pool's own, or a number the test sets.
struct CountingNetwork : CoreNetwork {
    TimeSliceTask* open(STSocketPool**, Connector**) override { return nullptr; }
    void close(STSocketPool*, Connector*) override {}
    int connectionCount(STSocketPool* pool) override {
        return fixed >= 0 ? fixed : (pool ? pool->connectionCount() : 0);
    }
    int fixed = -1;
};

// Wires the core to a test's pool, connector and network, and the own identity and limit to
// the test's values; everything is put back afterwards.
struct CoreScope {
    CoreScope(STSocketPool* pool, Connector* connector, CountingNetwork* network)
        : savedPool(theCore.socketPool),
          savedConnector(theCore.connector),
          savedMaxCon(theCoreOptions.maxCon),
          savedId(theCoreOptions.getClientId()),
          savedDoorPort(theCoreOptions.getDoorPort()),
          savedServerIp(theCoreOptions.getServerIp()),
          savedTransferDoorPort(theTransferOptions.getDoorPort()),
          savedFrAllow(theTransferOptions.frAllow) {
        theCore.socketPool = pool;
        theCore.connector = connector;
        theCore.setNetwork(network);
    }
    ~CoreScope() {
        theCore.socketPool = savedPool;
        theCore.connector = savedConnector;
        theCore.setNetwork(nullptr);
        theCoreOptions.maxCon = savedMaxCon;
        theCoreOptions.setClientId(savedId);
        theCoreOptions.setDoorPort(savedDoorPort);
        theCoreOptions.setServerIp(savedServerIp);
        theTransferOptions.setDoorPort(savedTransferDoorPort);
        theTransferOptions.frAllow = savedFrAllow;
    }
    STSocketPool* savedPool;
    Connector* savedConnector;
    int savedMaxCon;
    uint32_t savedId;
    uint16_t savedDoorPort;
    uint32_t savedServerIp;
    int savedTransferDoorPort;
    int savedFrAllow;
};

// A scripted peer on the test's side of a loopback connection.
struct Client {
    int fd = -1;
    std::string in;
    bool eof = false;

    void write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            ASSERT_GT(n, 0) << "write to the client side failed";
            done += (size_t)n;
        }
    }
    void sendFrame(uint8_t opcode, const std::string& body = "") { write(frame(opcode, body)); }
    // Takes in whatever has arrived; notes the end of the stream.
    void drain() {
        char buf[65536];
        for (;;) {
            ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                in.append(buf, (size_t)n);
                continue;
            }
            if (n == 0 || (n < 0 && errno == ECONNRESET)) eof = true;
            return;
        }
    }
    // The next whole frame's opcode and body, if one is in.
    bool takeFrame(uint8_t* opcode, std::string* body) {
        if (in.size() < 5) return false;
        uint32_t length = (uint8_t)in[1] | (uint8_t)in[2] << 8 | (uint8_t)in[3] << 16 |
                          (uint32_t)(uint8_t)in[4] << 24;
        if (in.size() < 5 + (size_t)length || length == 0) return false;
        *opcode = (uint8_t)in[5];
        *body = in.substr(6, length - 1);
        in.erase(0, 5 + length);
        return true;
    }
};

// A socket pool with a peer door on a loopback port the system picks; passes are run by
// the test, each given the milliseconds it says.
struct Harness {
    Harness()
        : pool(testProtocol(), nullptr), connector(&pool), scope(&pool, &connector, &network) {
        theProtocolHolder.setProxy(nullptr);
        door = new PeerDoor(0);
        EXPECT_TRUE(door->open(testProtocol(), 1000));
        i4_address* a = door->getSocket()->local_address();
        port = a->get_port();
        delete a;
        pool.add(door);
        pool.processPending();
    }
    ~Harness() {
        for (Client* c : clients) {
            close(c->fd);
            delete c;
        }
    }
    // With waitAccepted, runs passes until the door has taken the connection in.
    Client& connect(bool waitAccepted = true) {
        Client* c = new Client;
        c->fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons((uint16_t)port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, ::connect(c->fd, (sockaddr*)&sa, sizeof sa));
        clients.push_back(c);
        // The door takes one connection a pass.
        int before = pool.connectionCount();
        if (waitAccepted) {
            EXPECT_TRUE(
                passUntil([&] { return pool.connectionCount() != before; }, [&] { pool.run(1); }))
                << "the door never took the connection";
        }
        return *c;
    }
    // The client's own port, as the peer at the door sees it.
    static uint16_t localPort(const Client& c) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        getsockname(c.fd, (sockaddr*)&sa, &len);
        return ntohs(sa.sin_port);
    }
    void pump(int passes, int ms = 1) {
        for (int i = 0; i < passes; i++) pool.run(ms);
    }
    // Runs passes until the client holds a frame; false if the connection closes first or
    // none comes.
    bool next(Client& c, uint8_t* opcode, std::string* body) {
        bool taken = false;
        passUntil(
            [&] {
                c.drain();
                taken = c.takeFrame(opcode, body);
                return taken || c.eof;
            },
            [&] { pool.run(1); });
        return taken;
    }
    // The next frame other than 107 (address differs), or 0 with nothing.
    uint8_t nextOpcode(Client& c, std::string* body = nullptr) {
        uint8_t op = 0;
        std::string b;
        while (next(c, &op, &b)) {
            if (op == Peer::OP_ADDRESS_DIFFERS) continue;
            if (body) *body = b;
            return op;
        }
        return 0;
    }
    // True once the client's connection is closed by the pool; false if it never is.
    bool closes(Client& c) {
        return passUntil(
            [&] {
                c.drain();
                return c.eof;
            },
            [&] { pool.run(1); });
    }
    // A hello from the client with its own address as id; answers the 76 body.
    std::string hello(Client& c, const std::string& name, uint8_t hashSeed, bool goodTrailer = true,
                      int pr = 1) {
        uint16_t p = localPort(c);
        std::string body = helloBody(userRecord(hashOf(hashSeed), LOOPBACK_IP, p, name, pr), false);
        std::string t = referenceTrailer(body, p);
        if (!goodTrailer) t[3] ^= 0x5A;
        c.write(rawFrame(body + t));
        uint8_t op = 0;
        std::string answer;
        op = nextOpcode(c, &answer);
        EXPECT_EQ(Peer::OP_HELLO_ANSWER, op);
        return answer;
    }
    // The peer listed after the client's hello, or null.
    Peer* greet(Client& c, const char* name, uint8_t hashSeed) {
        hello(c, name, hashSeed);
        return listed(hashSeed);
    }
    // The listed peer whose user hash starts with the seed.
    Peer* listed(uint8_t hashSeed) { return theClientPool.findByHash(raw(hashOf(hashSeed))); }

    STSocketPool pool;
    CountingNetwork network;
    Connector connector;
    CoreScope scope;
    PeerDoor* door;
    int port = 0;
    std::vector<Client*> clients;
    CaptureUI ui;
};

}  // namespace peertest
