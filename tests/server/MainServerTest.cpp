#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "core/Core.h"
#include "core/CoreOptions.h"
#include "i4min/memory/i4_memory.h"
#include "meta/MetaTag.h"
#include "meta/SN_FindStr.h"
#include "meta/Search.h"
#include "server/ExServer.h"
#include "support/FreshCopy.h"
#include "util/LLView.h"

using namespace servertest;

namespace {

const uint8_t OWN_HASH[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// A file of the shared list as the transfer side keeps it, with what is local to it.
FileMeta* sharedFile(char hashByte, const char* name) {
    FileMeta* f = new FileMeta();
    uint8_t h[16];
    memset(h, hashByte, sizeof h);
    f->setFileHash(h);
    f->setName(name);
    f->setFileSize(1000);
    int32_t priority = 2;
    f->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &priority);
    float sent = 1.5f;
    f->setTag("# Sent", &sent, MetaTag::FLOAT);
    int32_t seen = 12345;
    f->setTag("Last Seen Complete", &seen, MetaTag::INT);
    return f;
}

class MainServerTest : public ServerFixture {
protected:
    MainServerTest() {
        UserMeta* me = theCoreOptions.getOwnUser();
        me->clearTags();
        me->setName("tester");
        int32_t version = CoreOptions::VERSION;
        me->setSpecialTag(SpecialTagInfo::VERSION, &version);
        memcpy(me->hash, OWN_HASH, 16);
        theCoreOptions.setClientId(0);
        theCoreOptions.setDoorPort(4662);
    }
    ~MainServerTest() override {
        // Before the recorders go: the connection reports to them as it is deleted.
        drainMessages();
        connector.reset();
        sockets.reset();
        theCore.filters.clear();
    }

    // A connection to the test's end, attached to the pool; the login is taken.
    std::string open(const char* password = nullptr, ServerEnd* at = nullptr) {
        ServerEnd& e = at ? *at : end;
        ServerMeta record(LOOPBACK, (uint16_t)e.port);
        record.setName("Fake");
        if (password) record.setTag(ServerMeta::PASSWORD, password, MetaTag::STRING);
        conn = new MainServer(&record, &pool());
        EXPECT_TRUE(conn->openSocket(5000));
        EXPECT_TRUE(e.accept());
        sockets->add(conn);
        std::string login;
        EXPECT_TRUE(pump([&] { return e.takeFrame(login); })) << "no login";
        return login;
    }
    std::string next() {
        std::string body;
        EXPECT_TRUE(pump([&] { return end.takeFrame(body); })) << "no frame from the client";
        return body;
    }
    void logIn(uint32_t id = 0x0100007F) {
        end.send(MainServer::OP_ID_CHANGE, le32(id));
        EXPECT_EQ(next(), "\x14");
    }
    // Lets the client handle everything sent so far: a status frame is answered by nothing,
    // so a server message marks the end.
    void settle() {
        size_t before = console.lines.size();
        end.send(MainServer::OP_MESSAGE, text("--"));
        EXPECT_TRUE(
            pump([&] { return console.lines.size() > before && console.lines.back() == "--"; }));
    }
    bool dropped() {
        return pump([&] { return end.readAvailable(); });
    }

    RecordingLink link;
    RecordingServerUI ui;
    CaptureUI console;
    ServerEnd end;
    MainServer* conn = nullptr;
};

TEST_F(MainServerTest, LoginSendsTheOwnRecordAsVersion61AndThePassword) {
    const std::string record = std::string((const char*)OWN_HASH, 16) + le32(0) + le16(4662) +
                               tagList({tagString(special(1), "tester"), tagInt(special(17), 61)});
    const struct {
        const char* password;
        std::string payload;
    } table[] = {
        {nullptr, "\x01" + record},
        {"sesame", "\x01" + record + text("sesame")},
        {"", "\x01" + record + text("")},
    };
    for (const auto& c : table) {
        ServerEnd e;
        EXPECT_EQ(open(c.password, &e), c.payload) << (c.password ? c.password : "no password");
        EXPECT_EQ(pool().connection(), conn);
        EXPECT_EQ(theCoreOptions.getOwnUser()->getSpecialInt(SpecialTagInfo::VERSION),
                  CoreOptions::VERSION);
        conn->discardSilently();
        pool().connectionClosed(conn);
        conn->closeNow();
        EXPECT_TRUE(pump([&] { return e.readAvailable(); }));
    }
    EXPECT_EQ(console.lines.front(), "Placed on connection Queue.");
}

TEST_F(MainServerTest, IdChangeStoresTheIdAndTellsEveryone) {
    const struct {
        uint32_t id;
        int firewall;
    } table[] = {{0x0100007F, 0}, {5, 1}};
    for (const auto& c : table) {
        theCoreOptions.setClientId(0);
        ServerEnd e;
        open(nullptr, &e);
        EXPECT_EQ(theServerGateway.firewallState(), 1) << "no id yet";
        EXPECT_FALSE(conn->isLoggedIn());
        int queued = theMessageQ.pending();
        link.broadcasts.clear();
        ui.events.clear();
        e.send(MainServer::OP_ID_CHANGE, le32(c.id));
        std::string body;
        ASSERT_TRUE(pump([&] { return e.takeFrame(body); }));
        EXPECT_EQ(body, "\x14") << "op 20 answers the id";
        EXPECT_EQ(theCoreOptions.getClientId(), c.id);
        EXPECT_EQ(theCoreOptions.getServerIp(), LOOPBACK);
        EXPECT_EQ(theCoreOptions.getServerPort(), e.port);
        EXPECT_EQ(ui.events, std::vector<std::string>{"connected Fake"});
        EXPECT_EQ(theMessageQ.pending(), queued + 1) << "publishing is asked for";
        ASSERT_EQ(link.broadcasts.size(), 1u);
        EXPECT_EQ(link.broadcasts[0], frame(77, le32(c.id) + le32(LOOPBACK)));
        EXPECT_TRUE(conn->isLoggedIn());
        EXPECT_FALSE(pool().isConnecting());
        EXPECT_EQ(theServerGateway.firewallState(), c.firewall) << std::hex << c.id;
        conn->discardSilently();
        pool().connectionClosed(conn);
        conn->closeNow();
        EXPECT_EQ(theServerGateway.firewallState(), 2) << "not connected";
        drainMessages();
    }
}

TEST_F(MainServerTest, StatusMessagesOwnRecordAndMoreServers) {
    ExServer* listed = new ExServer(LOOPBACK, (uint16_t)end.port);
    listed->setName("Old");
    listed->setTag(ServerMeta::PASSWORD, "pw", MetaTag::STRING);
    listed->setPreference(2);
    listed->setPing(40);
    listed->history = 3;
    listed->age = 1234;
    pool().servers().add(listed);
    open();

    end.send(MainServer::OP_STATUS, le32(7) + le32(9));
    end.send(MainServer::OP_MESSAGE, text("hello %s%n %d world"));
    end.send(MainServer::OP_MESSAGE, text(std::string(300, 'x')));
    end.send(MainServer::OP_SERVER_RECORD,
             std::string(16, '\0') + le32(0x09090909) + le16(1) +
                 tagList({tagString(special(1), "Fresh"), tagString(special(11), "desc"),
                          tagInt(special(12), 99), tagInt(special(13), 7),
                          tagInt(special(14), (uint32_t)-2), tagInt("users", 1), tagInt("files", 2),
                          tagString("password", "theirs")}));
    end.send(MainServer::OP_SERVER_LIST, "\x03" + le32(0x0100000A) + le16(4661) + le32(0x0200000A) +
                                             le16(4662) + le32(0) + le16(1));
    settle();

    EXPECT_EQ(theServerGateway.serverUsers(), 7u);
    EXPECT_EQ(theServerGateway.serverFiles(), 9u);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"status files 9 users 7", "connected Fresh"}));
    ASSERT_GE(console.lines.size(), 4u);
    EXPECT_EQ(console.lines[1], "hello %s%n %d world") << "a server's text is never a format";
    EXPECT_EQ(console.lines[2], std::string(200, 'x'));

    char buf[64];
    EXPECT_STREQ(listed->getSpecialTagText(SpecialTagInfo::NAME, buf, sizeof buf), "Fresh");
    EXPECT_STREQ(listed->getSpecialTagText(SpecialTagInfo::DESCRIPTION, buf, sizeof buf), "desc");
    EXPECT_STREQ(listed->getTagText(ServerMeta::PASSWORD, buf, sizeof buf), "pw");
    EXPECT_EQ(listed->pref, 2);
    EXPECT_EQ(listed->getSpecialInt(SpecialTagInfo::PREF), 2);
    EXPECT_EQ(listed->history, 3);
    EXPECT_EQ(listed->ping, 40);
    EXPECT_EQ(listed->getSpecialInt(SpecialTagInfo::PING), 40);
    EXPECT_EQ(listed->age, 1234);
    EXPECT_EQ(listed->ip, LOOPBACK);

    ServerList& all = pool().servers();
    all.lock();
    EXPECT_NE(all.findByAddress(0x0100000A, 4661), nullptr);
    EXPECT_NE(all.findByAddress(0x0200000A, 4662), nullptr);
    EXPECT_EQ(all.getList()->countNoLock(), 3) << "ip 0 is no server";
    all.unlock();
    EXPECT_FALSE(end.readAvailable()) << "the connection stays";
}

TEST_F(MainServerTest, AnUnknownServerRecordJoinsTheListWithoutWhatIsLocal) {
    open();
    end.send(MainServer::OP_SERVER_RECORD,
             std::string(16, '\0') + le32(0) + le16(0) +
                 tagList({tagString(special(1), "New"), tagInt(special(13), 9),
                          tagInt(special(14), 2), tagString("password", "theirs")}));
    settle();
    ServerList& all = pool().servers();
    all.lock();
    ServerMeta* s = all.findByAddress(LOOPBACK, (uint16_t)end.port);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->pref, 0);
    EXPECT_EQ(s->history, 0);
    EXPECT_EQ(s->findTag(ServerMeta::PASSWORD), nullptr);
    i4_string name;
    EXPECT_STREQ(s->displayName(name), "New");
    all.unlock();
}

TEST_F(MainServerTest, CallbackRequestsReachOnlyRealAddresses) {
    int listenerPort = 0;
    int listener = nettest::listen_loopback(2, &listenerPort);
    // Stands for the peer pool: a real connect to the address the server relayed.
    link.onConnect = [](UserMeta* u) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa = nettest::loopback_sa(u->port);
        sa.sin_addr.s_addr = u->ip;
        EXPECT_EQ(0, ::connect(fd, (sockaddr*)&sa, sizeof sa));
        close(fd);
    };
    open();
    end.send(MainServer::OP_CALLBACK_REQUESTED, le32(0x00FFFFFF) + le16((uint16_t)listenerPort));
    end.send(MainServer::OP_CALLBACK_REQUESTED, le32(LOOPBACK) + le16((uint16_t)listenerPort));
    settle();
    EXPECT_EQ(link.calls,
              std::vector<std::string>{"connect 0100007f:" + std::to_string(listenerPort)});
    EXPECT_TRUE(nettest::wait_readable(listener, 2000)) << "the peer was called";
    close(listener);

    link.calls.clear();
    link.onConnect = nullptr;
    link.alreadyOpen = true;
    end.send(MainServer::OP_CALLBACK_REQUESTED, le32(0x01000000) + le16(4662));
    settle();
    EXPECT_EQ(link.calls, (std::vector<std::string>{"connect 01000000:4662", "id change"}));
}

TEST_F(MainServerTest, SearchResultsAreFilteredAndTheirCountChecked) {
    theCore.filters.addWord("bad");
    open();
    end.send(MainServer::OP_SEARCH_RESULTS,
             le32(3) + fileWire(hash16('a'), {tagString(special(1), "good one")}) +
                 fileWire(hash16('b'), {tagString(special(1), "a BAD two")}) +
                 fileWire(hash16('c'), {tagString(special(1), "fine three")}) + "\x01");
    settle();
    EXPECT_EQ(ui.results, (std::vector<std::string>{"good one", "fine three"}));
    EXPECT_EQ(ui.events, std::vector<std::string>{"results more"});

    end.send(MainServer::OP_SEARCH_RESULTS,
             le32(100000) + fileWire(hash16('d'), {tagString(special(1), "lonely")}) + "\x00");
    EXPECT_TRUE(dropped()) << "a count the payload cannot hold drops the server";
    EXPECT_EQ(ui.results.size(), 2u);
}

TEST_F(MainServerTest, SendersWriteOneFrameEach) {
    open();
    Search* s = new Search();
    s->addRef();
    s->addNode(new SN_FindStr("ab"), 0);
    uint8_t h[16];
    memset(h, 0x42, sizeof h);
    conn->search(s);
    conn->searchKind1(s);
    conn->moreResults();
    conn->requestSources(h);
    conn->requestCallback(0x00ABCDEF);
    const std::string expression = std::string("\x01") + text("ab");
    EXPECT_EQ(next(), "\x16" + expression);
    EXPECT_EQ(next(), "\x1a" + expression);
    EXPECT_EQ(next(), "\x21");
    EXPECT_EQ(next(), "\x19" + std::string(16, '\x42'));
    EXPECT_EQ(next(), "\x1c" + le32(0x00ABCDEF));
    s->release();
}

TEST_F(MainServerTest, PublishingSendsEachSharedFileOncePerConnection) {
    FileList shared;
    shared.add(sharedFile('a', "one"));
    shared.add(sharedFile('b', "two"));
    link.shared = &shared;
    link.passDone = true;
    open();

    auto published = [&]() {
        std::vector<std::string> names;
        std::string body = next();
        EXPECT_EQ((uint8_t)body[0], MainServer::OP_PUBLISH);
        i4_ram_file_class in((void*)(body.data() + 1), (int32_t)body.size() - 1, 0);
        FileList got;
        EXPECT_TRUE(got.fromNetwork(in));
        EXPECT_EQ(in.tell(), in.size()) << "the frame holds the list and nothing more";
        for (FileMeta* f : LLView<FileMeta>(got.getList())) {
            names.push_back(f->getName());
            EXPECT_EQ(f->findTag(SpecialTagInfo::get(SpecialTagInfo::UPLOAD_PRIORITY)->tagName),
                      nullptr);
            EXPECT_EQ(f->findTag("# Sent"), nullptr);
            EXPECT_EQ(f->findTag("Last Seen Complete"), nullptr);
            EXPECT_EQ(f->getFileSize(), 1000u);
        }
        got.deleteAll();
        return names;
    };

    theServerGateway.publishShared();
    settle();
    std::string early;
    EXPECT_FALSE(end.takeFrame(early)) << "nothing is published during the login";

    logIn();
    drainMessages();
    EXPECT_EQ(published(), (std::vector<std::string>{"one", "two"}));
    EXPECT_NE(shared.getAt(0)->findTag("# Sent"), nullptr) << "the shared records keep their tags";

    shared.add(sharedFile('c', "three"));
    theServerGateway.publishShared();
    EXPECT_EQ(published(), std::vector<std::string>{"three"});

    link.passDone = false;
    shared.add(sharedFile('d', "four"));
    theServerGateway.publishShared();
    link.passDone = true;
    theServerGateway.resetServerState();
    theServerGateway.publishShared();
    EXPECT_EQ(published(), (std::vector<std::string>{"one", "two", "three", "four"}))
        << "a new connection hears of every file";
    shared.deleteAll();
}

TEST_F(MainServerTest, FoundSourcesAndFailedCallbacks) {
    link.downloads.push_back(hash16('k'));
    open();
    const std::string via = " via 0100007f:" + std::to_string(end.port);
    end.send(MainServer::OP_FOUND_SOURCES, hash16('u') + "\x01" + le32(0x0200000A) + le16(4662));
    end.send(MainServer::OP_FOUND_SOURCES,
             hash16('k') + "\x02" + le32(0x0200000A) + le16(4662) + le32(42) + le16(4663));
    end.send(MainServer::OP_FOUND_SOURCES, hash16('k') + "\xc8" + le32(0x0300000A) + le16(1));
    end.send(MainServer::OP_CALLBACK_FAILED, le32(77));
    settle();
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{
                  "source d1 0200000a:4662" + via, "source d1 0000002a:4663" + via,
                  "download callback failed 0100007f 77", "upload callback failed 0100007f 77"}));
    EXPECT_EQ(link.released, 2) << "every download found is released, also without sources";
}

TEST_F(MainServerTest, UsersAndIgnoredMessagesKeepTheConnection) {
    open();
    UserMeta u;
    u.setName("someone");
    i4_ram_file_class user(nullptr, 0, 256);
    u.toNetwork(user);
    std::string userBytes((const char*)user.get_buffer(), (size_t)user.size());
    i4_free(user.get_buffer());

    end.send(MainServer::OP_USERS, le32(2) + userBytes + userBytes);
    end.send(MainServer::OP_IGNORED_63, "\x01" + userBytes);
    end.send(MainServer::OP_IGNORED_63, std::string(1, '\0'));
    end.send(MainServer::OP_IGNORED_62, le32(1) + text("ignored"));
    end.send(MainServer::OP_OUT_OF_DATE, "");
    end.send(99, "whatever");
    settle();
    EXPECT_EQ(ui.events, std::vector<std::string>{"users 2"});
    EXPECT_EQ(console.lines[console.lines.size() - 2],
              "Either your client or the server is out of date.");
    EXPECT_FALSE(end.readAvailable());
}

TEST_F(MainServerTest, BadFramesDropTheServerBeforeAnythingIsAllocated) {
    const struct {
        const char* what;
        std::string bytes;
    } table[] = {
        {"bad marker", std::string("\xc5") + le32(5) + "\x34" + le32(1)},
        {"empty frame", std::string("\xe3") + le32(0)},
        {"2 GiB frame", std::string("\xe3") + le32(0x7FFFFFFF) + "\x38"},
        {"one past the cap", std::string("\xe3") + le32(MainServer::MAX_FRAME + 1) + "\x38"},
        {"status cut short", frame(MainServer::OP_STATUS, "\x01\x02\x03")},
        {"server list count past the end", frame(MainServer::OP_SERVER_LIST, "\x05" + le32(1))},
        {"record that cannot be read", frame(MainServer::OP_SERVER_RECORD, std::string(10, '\0'))},
        {"user list that cannot be read", frame(MainServer::OP_USERS, le32(3))},
    };
    for (const auto& c : table) {
        ServerEnd e;
        open(nullptr, &e);
        ui.events.clear();
        long long before = addressSpaceInUse();
        e.send(c.bytes);
        EXPECT_TRUE(pump([&] { return e.readAvailable(); })) << c.what;
        EXPECT_LT(addressSpaceInUse() - before, 64ll << 20) << c.what;
        EXPECT_TRUE(pump([&] { return pool().connection() == nullptr; })) << c.what;
        EXPECT_EQ(ui.events, std::vector<std::string>{"disconnected"}) << c.what;
    }
}

TEST_F(MainServerTest, TheCurrentConnectionReportsItsEndAndALaterOneReplacesIt) {
    open();
    theServerGateway.setServerCounts(3, 4);
    end.closeSocket();
    EXPECT_TRUE(pump([&] { return pool().connection() == nullptr; }));
    EXPECT_EQ(ui.events, std::vector<std::string>{"disconnected"});
    EXPECT_EQ(theServerGateway.serverUsers(), 0u) << "the server's figures go with it";

    ServerEnd first;
    ServerEnd second;
    open(nullptr, &first);
    MainServer* earlier = conn;
    open(nullptr, &second);
    EXPECT_NE(conn, earlier);
    EXPECT_EQ(pool().connection(), conn);
    EXPECT_TRUE(pump([&] { return first.readAvailable(); })) << "one server connection at a time";
    EXPECT_FALSE(second.readAvailable());
    EXPECT_EQ(ui.events, std::vector<std::string>{"disconnected"})
        << "the replaced one goes quietly";
}

}  // namespace
