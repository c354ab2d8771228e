// Test helpers for the remote control: the console's faces that keep what reaches them, a
// remote UI with controllers on socket pairs driven by a socket pool of the test's own, the
// controller's end of each pair reading frames, and a recorder of queued messages.
#pragma once

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "core/TaskThread.h"
#include "core/TransferUI.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_string.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/Search.h"
#include "meta/SpecialTagInfo.h"
#include "net/IpPort.h"
#include "net/NetTestSupport.h"
#include "net/STSocketPool.h"
#include "support/CapturedUI.h"
#include "support/Waiting.h"
#include "ui/AdminSettings.h"
#include "ui/RemoteController.h"
#include "ui/RemoteTCPUI.h"

namespace remotetest {

inline std::string le16(uint16_t v) {
    return std::string{(char)(v & 0xff), (char)(v >> 8)};
}
inline std::string text(const std::string& s) {
    return le16((uint16_t)s.size()) + s;
}
inline std::string loginPayload(const std::string& name, const std::string& pass) {
    return text(name) + text(pass);
}

// Little-endian fields of a received payload, read in order.
struct Fields {
    explicit Fields(const std::string& b) : bytes(b) {}
    uint8_t u8() { return (uint8_t)take(1)[0]; }
    uint16_t u16() {
        std::string s = take(2);
        return (uint16_t)((uint8_t)s[0] | (uint8_t)s[1] << 8);
    }
    uint32_t u32() {
        std::string s = take(4);
        return (uint32_t)(uint8_t)s[0] | (uint32_t)(uint8_t)s[1] << 8 |
               (uint32_t)(uint8_t)s[2] << 16 | (uint32_t)(uint8_t)s[3] << 24;
    }
    float f32() {
        uint32_t v = u32();
        float f;
        memcpy(&f, &v, 4);
        return f;
    }
    std::string str() { return take(u16()); }
    std::string take(size_t n) {
        if (at + n > bytes.size()) {
            ADD_FAILURE() << "payload ends after " << bytes.size() << " bytes";
            at = bytes.size();
            return std::string(n, '\0');
        }
        std::string s = bytes.substr(at, n);
        at += n;
        return s;
    }
    size_t left() const { return bytes.size() - at; }
    std::string bytes;
    size_t at = 0;
};

// One frame the client sent: opcode and what follows it.
struct Frame {
    uint8_t op;
    std::string body;
};

// The console's three faces, keeping what reaches them.
struct Console : TransferUI, ServerUI {
    Console() { gateway.setOutput(&out); }
    ~Console() override { results.deleteAll(); }
    std::string text() { return out.text(); }

    void downloadChanged(Download*) override { events.push_back("download changed"); }
    void downloadRemoved(Download*) override { events.push_back("download removed"); }
    void uploadSlotRemoved(UploadSlot*) override { events.push_back("slot removed"); }
    void uploadSlotChanged(UploadSlot*) override { events.push_back("slot changed"); }
    void friendsChanged() override { events.push_back("friends changed"); }
    void hashingStatus(const char* s) override { events.push_back(std::string("hashing ") + s); }
    LLsafe* getDownloadList() override { return downloads; }

    void connected(const char* name) override {
        events.push_back(std::string("connected ") + name);
    }
    void disconnected() override { events.push_back("disconnected"); }
    void serverStatus(uint32_t files, uint32_t users) override {
        events.push_back("status " + std::to_string(files) + " " + std::to_string(users));
    }
    void extendingTo(const char* name) override {
        events.push_back(std::string("extending ") + name);
    }
    void searchResult(FileMeta* r) override { results.add(r); }
    void searchResults(FileList* list, bool) override {
        results.deleteAll();
        results.appendAll(list);
        delete list;
    }

    UIGateway gateway;
    CaptureFile out;
    std::vector<std::string> events;
    FileList results;
    LLsafe* downloads = nullptr;
};

// Keeps the messages the controller posts, taken off the queue by drain.
struct MessageRecorder : MessageHandler {
    struct Seen {
        int id;
        bool payload;
        std::string text;    // a command line
        IpPort where{0, 0};  // a server
        Search* search;      // the search posted (alive while a test holds a reference)
        std::string searchText;
        std::string hash;  // a file record's hash
    };
    explicit MessageRecorder(std::vector<int> idList) : ids(std::move(idList)) {
        drainQueue();
        for (int id : ids) theMessageQ.setHandler(this, id);
    }
    ~MessageRecorder() override {
        drainQueue();
        for (int id : ids) theMessageQ.setHandler(nullptr, id);
    }
    static void drainQueue() {
        for (int n = 0; theMessageQ.pending() > 0 && n < 10000; n++) theMessageQ.run(0);
    }
    std::vector<Seen>& drain() {
        drainQueue();
        return seen;
    }
    void handleMessage(Message* m) override {
        Seen s{m->id, m->hasPayload(), "", IpPort(0, 0), nullptr, "", ""};
        if (i4_string* t = m->get<i4_string>()) s.text = t->c_str() ? t->c_str() : "";
        if (IpPort* p = m->get<IpPort>()) s.where = *p;
        if (Search* q = m->get<Search>()) {
            s.search = q;
            i4_string t;
            q->toString(t);
            s.searchText = t.c_str();
        }
        if (FileMeta* f = m->get<FileMeta>()) s.hash = std::string((char*)f->getFileHash(), 16);
        seen.push_back(s);
    }
    std::vector<int> ids;
    std::vector<Seen> seen;
};

// The controller's end of one connection.
struct ControllerEnd {
    explicit ControllerEnd(SockPair* p) : pair(p) {}
    void send(uint8_t op, const std::string& payload = "") { pair->peerWrite(frame(op, payload)); }
    void sendRaw(const std::string& bytes) { pair->peerWrite(bytes); }
    // Takes in what arrived; true once the client closed the connection.
    bool readAvailable() {
        char buf[65536];
        for (;;) {
            ssize_t n = recv(pair->peer, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                pending.append(buf, (size_t)n);
                continue;
            }
            if (n == 0) closed = true;
            return closed;
        }
    }
    // Every whole frame that has arrived, in order.
    std::vector<Frame> frames() {
        readAvailable();
        std::vector<Frame> out;
        while (pending.size() >= 6) {
            uint32_t len = (uint8_t)pending[1] | (uint8_t)pending[2] << 8 |
                           (uint8_t)pending[3] << 16 | (uint32_t)(uint8_t)pending[4] << 24;
            if (pending.size() < 5 + (size_t)len) break;
            EXPECT_EQ(0xE3, (uint8_t)pending[0]);
            out.push_back(Frame{(uint8_t)pending[5], pending.substr(6, len - 1)});
            pending.erase(0, 5 + len);
        }
        got.insert(got.end(), out.begin(), out.end());
        return out;
    }
    std::vector<uint8_t> opcodes() {
        frames();
        std::vector<uint8_t> ops;
        for (const Frame& f : got) ops.push_back(f.op);
        return ops;
    }
    // The texts of every frame of the opcode so far.
    std::vector<std::string> texts(uint8_t op) {
        frames();
        std::vector<std::string> out;
        for (const Frame& f : got)
            if (f.op == op) out.push_back(Fields(f.body).str());
        return out;
    }

    SockPair* pair;
    std::string pending;
    std::vector<Frame> got;
    bool closed = false;
};

// The remote UI in front of a recording console, with controllers on socket pairs. The pool
// and the task thread are the test's: pump runs the pool, the test runs the thread's passes.
class RemoteFixture : public ::testing::Test {
protected:
    RemoteFixture()
        : savedUI(theUI),
          ui(&console.gateway, nullptr, &console, &console),
          pool(new STSocketPool(testProtocol(), &bandwidth)) {
        initSpecialTags();
        savedName = theAdminSettings.getName();
        savedPass = theAdminSettings.getPass();
        theAdminSettings.setCredentials("zet", "quimbal");
        theUI = &ui;
    }
    ~RemoteFixture() override {
        // The controllers go before the UI they report to.
        pool.reset();
        for (SockPair* p : pairs) delete p;
        theUI = savedUI;
        theAdminSettings.setCredentials(savedName.c_str(), savedPass.c_str());
    }

    // A new controller connection in the pool; its end for the test.
    ControllerEnd& open() {
        SockPair* pair = new SockPair;
        pairs.push_back(pair);
        RemoteController* c = new RemoteController(pair->take(), &ui, &tasks);
        controllers.push_back(c);
        pool->add(c);
        pool->processPending();
        ends.emplace_back(new ControllerEnd(pair));
        return *ends.back();
    }
    // Runs passes of the pool until done holds; false if it never does.
    bool pump(const std::function<bool()>& done) {
        return passUntil(done, [&] { pool->run(10); });
    }
    // Runs a few passes of the pool; whether done held meanwhile. For what must not happen.
    bool within(int passes, const std::function<bool()>& done) {
        for (int i = 0; i < passes && !done(); ++i) pool->run(10);
        return done();
    }
    // Sends the login and waits for the options packet or the close.
    // after: bytes sent behind the two fields.
    bool login(ControllerEnd& end, const std::string& name = "zet",
               const std::string& pass = "quimbal", const std::string& after = "") {
        end.send(GUIController::IN_LOGIN, loginPayload(name, pass) + after);
        bool answered = pump([&] {
            if (end.readAvailable()) return true;
            for (const Frame& f : end.frames())
                if (f.op == GUIController::OUT_OPTIONS) return true;
            for (const Frame& f : end.got)
                if (f.op == GUIController::OUT_OPTIONS) return true;
            return false;
        });
        return answered && !end.closed;
    }
    // Waits until a frame of the opcode has arrived (or the connection closed); its body.
    bool await(ControllerEnd& end, uint8_t op, std::string* body = nullptr) {
        size_t seen = end.got.size();
        bool found = pump([&] {
            end.frames();
            for (size_t i = seen; i < end.got.size(); i++)
                if (end.got[i].op == op) {
                    if (body) *body = end.got[i].body;
                    return true;
                }
            return end.closed;
        });
        return found && !end.closed;
    }
    bool awaitClose(ControllerEnd& end) {
        return pump([&] { return end.readAvailable(); });
    }
    int connections() { return pool->connectionCount(); }

    UIGateway* savedUI;
    i4_string savedName, savedPass;
    Console console;
    RemoteTCPUI ui;
    TaskThread tasks;
    BandwidthSettings bandwidth;
    std::unique_ptr<STSocketPool> pool;
    std::vector<SockPair*> pairs;
    // As made; the pool deletes a controller whose connection ends.
    std::vector<GUIController*> controllers;
    std::vector<std::unique_ptr<ControllerEnd>> ends;
};

}  // namespace remotetest
