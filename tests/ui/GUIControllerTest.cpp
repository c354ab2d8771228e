#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ControllerTestSupport.h"
#include "core/CoreOptions.h"
#include "i4min/TempDir.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "meta/SN_Compound.h"
#include "meta/SN_FindStr.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"
#include "transfer/upload/UploadPool.h"
#include "ui/GUIController.h"
#include "ui/RemoteControllerDoor.h"
#include "ui/Servant.h"

using namespace remotetest;

namespace {

const std::string kInvalid = "Invalid name and pass\n";
const std::string kAnother = "Another Control attempt\n";

std::string searchWire(const char* word) {
    Search s;
    s.addNode(new SN_FindStr(word), SN_Compound::AND);
    i4_ram_file_class f(nullptr, 0, 256);
    EXPECT_TRUE(s.toNetwork(f));
    std::string out((const char*)f.get_buffer(), (size_t)f.tell());
    i4_free(f.get_buffer());
    return out;
}

std::string header(uint32_t length) {
    return std::string(1, '\xe3') + le32(length);
}

using GUIControllerTest = RemoteFixture;

TEST_F(GUIControllerTest, AFirstPacketOtherThanTheLoginClosesSilentlyAndRunsNothing) {
    MessageRecorder posted({MSG_COMMAND});
    ControllerEnd& end = open();
    end.send(GUIController::IN_COMMAND, text("vo"));
    ASSERT_TRUE(awaitClose(end));
    EXPECT_TRUE(end.frames().empty());
    EXPECT_EQ("", console.text());
    EXPECT_TRUE(posted.drain().empty());
    EXPECT_FALSE(ui.hasController());
}

TEST_F(GUIControllerTest, OnlyTheStoredNonBlankNameAndPasswordLogIn) {
    struct Case {
        const char* storedName;
        const char* storedPass;
        std::string name;
        std::string pass;
        bool in;
        std::string after;
    } cases[] = {
        {"zet", "quimbal", "zet", "quimbal", true, ""},
        {"zet", "quimbal", "zet", "quimbaL", false, ""},
        {"zet", "quimbal", "zet", "quimba", false, ""},
        {"zet", "quimbal", "zet", "quimbal!", false, ""},
        {"zet", "quimbal", "zeta", "quimbal", false, ""},
        {"zet", "quimbal", "quimbal", "zet", false, ""},
        {"zet", "quimbal", "", "", false, ""},
        // A zero byte is part of the field, not its end.
        {"zet", "quimbal", "zet", std::string("quimbal\0anything", 16), false, ""},
        {"zet", "quimbal", "zet", std::string("quimbal\0", 8), false, ""},
        {"zet", "quimbal", std::string("zet\0zzz", 7), "quimbal", false, ""},
        {"zet", "quimbal", std::string("ze\0t", 4), "quimbal", false, ""},
        // Anything after the two fields makes it no login.
        {"zet", "quimbal", "zet", "quimbal", false, "x"},
        {"zet", "quimbal", "zet", "quimbal", false, std::string(1, '\0')},
        // Blank credentials mean no remote control, whatever is sent.
        {"", "", "", "", false, ""},
        {"", "", "zet", "quimbal", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.name) + "/" + testing::PrintToString(c.pass) + "+" +
                     testing::PrintToString(c.after) + " against " + c.storedName + "/" +
                     c.storedPass);
        theAdminSettings.setCredentials(c.storedName, c.storedPass);
        console.out.clear();
        ControllerEnd& end = open();
        EXPECT_EQ(c.in, login(end, c.name, c.pass, c.after));
        EXPECT_EQ(c.in, ui.hasController());
        EXPECT_EQ(c.in ? "" : kInvalid, console.text());
        if (c.in) {
            end.pair->closePeer();
            ASSERT_TRUE(pump([&] { return !ui.hasController(); }));
        } else {
            EXPECT_TRUE(end.closed);
        }
    }
}

TEST_F(GUIControllerTest, TheLoginIsAnsweredWithTheOptions) {
    theTransferOptions.setDoorPort(4777);
    ASSERT_TRUE(theAdminSettings.setDoorPort(4999));
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    ASSERT_FALSE(end.got.empty());
    const Frame& options = end.got.front();
    ASSERT_EQ(GUIController::OUT_OPTIONS, options.op);
    Fields f(options.body);
    EXPECT_EQ(10501, f.u16());
    EXPECT_FLOAT_EQ((float)theCoreOptions.getMaxDownload(), f.f32());
    EXPECT_FLOAT_EQ((float)theCoreOptions.getMaxUpload(), f.f32());
    EXPECT_EQ(4777, f.u16());
    EXPECT_EQ((uint16_t)theCoreOptions.maxCon, f.u16());
    std::string name = f.str(), temp = f.str(), incoming = f.str();
    EXPECT_EQ(theCoreOptions.getUserName().c_str(), name);
    EXPECT_EQ(theTransferOptions.getTemp().c_str(), temp);
    EXPECT_EQ(theTransferOptions.getIncoming().c_str(), incoming);
    // With the opcode, 45 bytes besides the three texts.
    EXPECT_EQ(44 + name.size() + temp.size() + incoming.size(), options.body.size());
    EXPECT_EQ(std::string(3, '\0'), f.take(3));
    EXPECT_EQ(theTransferOptions.pmAllow, f.u8());
    EXPECT_EQ(theTransferOptions.saveCor, f.u8());
    EXPECT_EQ(theTransferOptions.verifyCancel, f.u8());
    EXPECT_EQ(4999, f.u16());
    EXPECT_EQ((uint32_t)theCoreOptions.maxCon, f.u32());
    uint32_t built = f.u32();
    EXPECT_EQ(GUIController::packBuildDate(__DATE__), built);
    EXPECT_GE(built >> 16, 26u);  // built in 2026 or later
    EXPECT_FLOAT_EQ((float)theCoreOptions.lineDown, f.f32());
    EXPECT_EQ((uint32_t)getpid(), f.u32());
    EXPECT_EQ(0u, f.left());
    theAdminSettings.setDoorPort(AdminSettings::DEFAULT_DOOR_PORT);
    theTransferOptions.setDoorPort(TransferOptions::DEFAULT_DOOR_PORT);
}

TEST(GUIControllerBuildDate, PacksOnlyAWholeDateFrom2000On) {
    struct Case {
        const char* text;
        uint32_t packed;
    } cases[] = {
        {"Aug 14 2003", 3 * 65536 + 8 * 256 + 14},
        {"Dec 10 2026", 26 * 65536 + 12 * 256 + 10},
        {"Jan  1 2000", 1 * 256 + 1},
        {"Janvier 5 2010", 10 * 65536 + 1 * 256 + 5},
        {"Aug 14 1999", 0},
        {"Foo 14 2003", 0},
        {"Aug 0 2003", 0},
        {"Aug 32 2003", 0},
        {"Aug 14", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.packed, GUIController::packBuildDate(c.text)) << (c.text ? c.text : "null");
}

TEST_F(GUIControllerTest, ASecondLoginIsRefusedAndTheFirstHearsOfIt) {
    ControllerEnd& first = open();
    ASSERT_TRUE(login(first));
    ControllerEnd& second = open();
    EXPECT_FALSE(login(second));
    EXPECT_TRUE(second.closed);
    ASSERT_TRUE(await(first, GUIController::OUT_LINE));
    EXPECT_EQ(std::vector<std::string>{"Another Control attempt"},
              first.texts(GUIController::OUT_LINE));
    EXPECT_EQ(kAnother, console.text());

    // Once the first has gone, a new login works.
    first.pair->closePeer();
    ASSERT_TRUE(pump([&] { return !ui.hasController(); }));
    ControllerEnd& third = open();
    EXPECT_TRUE(login(third));
}

TEST_F(GUIControllerTest, FramesAreCappedBeforeAnythingIsAllocated) {
    struct Case {
        bool loggedIn;
        uint32_t announced;
        bool closed;
    } cases[] = {
        {false, 0, true},
        {false, 64 * 1024, false},
        {false, 64 * 1024 + 1, true},
        {false, 0xFFFFFFF0u, true},
        {true, 0, true},
        {true, 1024 * 1024, false},
        {true, 1024 * 1024 + 1, true},
        {true, 0xFFFFFFF0u, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.announced) + (c.loggedIn ? " after" : " before") +
                     " the login");
        ControllerEnd& end = open();
        if (c.loggedIn) {
            ASSERT_TRUE(login(end));
        }
        int before = connections();
        // The header and a first byte: a refused length ends it before the byte is taken.
        end.sendRaw(header(c.announced) + "\x66");
        if (c.closed) {
            EXPECT_TRUE(awaitClose(end));
            EXPECT_EQ(before - 1, connections());
        } else {
            EXPECT_FALSE(within(5, [&] { return end.readAvailable(); }));
            // What waits for the rest of the frame is what arrived, not what was announced.
            end.pair->closePeer();
            ASSERT_TRUE(pump([&] { return connections() == before - 1; }));
        }
        EXPECT_FALSE(ui.hasController());
    }
}

TEST_F(GUIControllerTest, AConnectionThatDoesNotLogInWithin30SecondsIsClosed) {
    i4_test_clock clock;
    ControllerEnd& silent = open();
    ControllerEnd& talker = open();
    ASSERT_TRUE(login(talker));
    clock.step_ms(GUIController::LOGIN_LIMIT_MS - 1);
    EXPECT_FALSE(within(5, [&] { return silent.readAvailable(); }));
    clock.step_ms(1);
    EXPECT_TRUE(awaitClose(silent));
    // The logged-in controller has no time limit.
    clock.step_ms(10 * GUIController::LOGIN_LIMIT_MS);
    EXPECT_FALSE(within(5, [&] { return talker.readAvailable(); }));
    EXPECT_TRUE(ui.hasController());
}

TEST_F(GUIControllerTest, ANewConnectionBeyondTheWaitingFewClosesTheLongestWaiting) {
    const int few = TcpipUI::MAX_WAITING_LOGINS;
    for (int i = 0; i < few; i++) open();
    EXPECT_EQ(few, ui.waitingForLogin());
    // The newcomer stays; the first of the silent ones goes, the others wait on.
    ControllerEnd& newcomer = open();
    EXPECT_EQ(few, ui.waitingForLogin());
    ASSERT_TRUE(awaitClose(*ends[0]));
    for (int i = 1; i < few; i++) EXPECT_FALSE(ends[i]->closed) << i;
    ASSERT_TRUE(login(newcomer));
    EXPECT_EQ(few - 1, ui.waitingForLogin());
    // A logged-in controller waits for nothing: a new flood passes it by.
    for (int i = 0; i < 2 * few; i++) open();
    for (int i = 1; i < few; i++) ASSERT_TRUE(awaitClose(*ends[i])) << i;
    EXPECT_FALSE(within(5, [&] { return newcomer.readAvailable(); }));
    EXPECT_TRUE(ui.hasController());
    EXPECT_EQ(few, ui.waitingForLogin());
}

TEST_F(GUIControllerTest, CommandLinesAreQueuedCutLikeTheConsolesAndAnsweredThroughTheUI) {
    MessageRecorder posted({MSG_COMMAND});
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    end.send(GUIController::IN_COMMAND, text("vo"));
    end.send(GUIController::IN_COMMAND, text(std::string(300, 'x')));
    ASSERT_TRUE(pump([&] { return theMessageQ.pending() == 2; }));
    std::vector<MessageRecorder::Seen>& seen = posted.drain();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ("vo", seen[0].text);
    EXPECT_EQ(std::string(254, 'x'), seen[1].text);
}

TEST_F(GUIControllerTest, EachSearchIsItsOwnExpressionAndExtendingTakesTheLast) {
    MessageRecorder posted({MSG_SEARCH, MSG_SEARCH_TYPED, MSG_EXTEND_SEARCH,
                            MSG_EXTEND_SEARCH_TYPED, MSG_MORE_RESULTS});
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    // Nothing to extend yet.
    end.send(GUIController::IN_EXTEND_SEARCH);
    end.send(GUIController::IN_SEARCH, searchWire("first"));
    end.send(GUIController::IN_SEARCH, searchWire("second"));
    end.send(GUIController::IN_EXTEND_SEARCH);
    end.send(GUIController::IN_SEARCH_TYPED, searchWire("typed"));
    end.send(GUIController::IN_EXTEND_SEARCH_TYPED);
    end.send(GUIController::IN_MORE_RESULTS);
    ASSERT_TRUE(pump([&] { return theMessageQ.pending() == 6; }));
    std::vector<MessageRecorder::Seen>& seen = posted.drain();
    ASSERT_EQ(6u, seen.size());
    std::vector<int> ids;
    for (auto& s : seen) ids.push_back(s.id);
    EXPECT_EQ((std::vector<int>{MSG_SEARCH, MSG_SEARCH, MSG_EXTEND_SEARCH, MSG_SEARCH_TYPED,
                                MSG_EXTEND_SEARCH_TYPED, MSG_MORE_RESULTS}),
              ids);
    // Two searches queued before either is handled keep their own expressions.
    EXPECT_NE(seen[0].searchText, seen[1].searchText);
    EXPECT_NE(std::string::npos, seen[0].searchText.find("first"));
    EXPECT_NE(std::string::npos, seen[1].searchText.find("second"));
    EXPECT_EQ(seen[1].searchText, seen[2].searchText);
    EXPECT_NE(std::string::npos, seen[3].searchText.find("typed"));
    EXPECT_EQ(seen[3].searchText, seen[4].searchText);
    EXPECT_FALSE(seen[5].payload);
}

TEST_F(GUIControllerTest, ShortPacketsDropTheConnectionAndUnknownOnesAreIgnored) {
    struct Case {
        uint8_t op;
        std::string payload;
        bool open;
    } cases[] = {
        {GUIController::IN_IGNORED_216, le16(7), true},
        {GUIController::IN_IGNORED_216, "\x07", false},
        {GUIController::IN_COMMAND, "\x05\x00vo", false},
        {GUIController::IN_UPLOAD_PRIORITY, std::string(16, 'h'), false},
        {GUIController::IN_DOWNLOAD_RESULT, std::string(15, 'h'), false},
        {150, "", true},
        {GUIController::IN_LOGIN, loginPayload("zet", "quimbal"), true},
        {GUIController::IN_NOTHING_212, "trailing bytes are ignored", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((int)c.op);
        ControllerEnd& end = open();
        ASSERT_TRUE(login(end));
        end.send(c.op, c.payload);
        end.send(GUIController::IN_OPTIONS);
        if (c.open)
            EXPECT_TRUE(await(end, GUIController::OUT_OPTIONS));
        else
            EXPECT_TRUE(awaitClose(end));
        end.pair->closePeer();
        ASSERT_TRUE(pump([&] { return !ui.hasController(); }));
    }
}

TEST_F(GUIControllerTest, TheStatusTaskRunsExactlyWhileAReportIsAsked) {
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    GUIController* c = controllers.back();
    UIStatusTask* task = &c->getStatusTask();
    struct Step {
        uint8_t op;
        bool running;
    } steps[] = {
        {GUIController::IN_DOWNLOAD_STATUS_ON, true},
        {GUIController::IN_DOWNLOAD_STATUS_ON, true},
        {GUIController::IN_DOWNLOAD_STATUS_OFF, false},
        {GUIController::IN_UPLOAD_STATUS_ON, true},
        {GUIController::IN_DOWNLOAD_STATUS_ON, true},
        {GUIController::IN_DOWNLOAD_STATUS_OFF, true},
        {GUIController::IN_UPLOAD_STATUS_OFF, false},
    };
    for (const Step& s : steps) {
        end.send(s.op);
        end.send(GUIController::IN_OPTIONS);
        ASSERT_TRUE(await(end, GUIController::OUT_OPTIONS));
        tasks.runPass();
        EXPECT_EQ(s.running, tasks.hasTask(task)) << (int)s.op;
    }
    // A controller that goes takes its task with it.
    end.send(GUIController::IN_UPLOAD_STATUS_ON);
    end.send(GUIController::IN_OPTIONS);
    ASSERT_TRUE(await(end, GUIController::OUT_OPTIONS));
    tasks.runPass();
    ASSERT_TRUE(tasks.hasTask(task));
    end.pair->closePeer();
    ASSERT_TRUE(pump([&] { return !ui.hasController(); }));
    tasks.runPass();
    EXPECT_FALSE(tasks.hasTask(task));
}

TEST_F(GUIControllerTest, ReportsComeOnceMoreThanTheIntervalHasPassed) {
    i4_test_clock clock;
    // The fixture's passes ran on the real clock: one pass now, so that no real
    // milliseconds reach the report's interval.
    tasks.runPass();
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    end.send(GUIController::IN_UPLOAD_STATUS_ON);
    end.send(GUIController::IN_OPTIONS);
    ASSERT_TRUE(await(end, GUIController::OUT_OPTIONS));
    tasks.runPass();
    auto reports = [&] {
        end.frames();
        int n = 0;
        for (const Frame& f : end.got)
            if (f.op == GUIController::OUT_UPLOAD_STATUS) n++;
        return n;
    };
    clock.step_ms(GUIController::STATUS_INTERVAL_MS);
    tasks.runPass();
    EXPECT_FALSE(within(3, [&] { return reports() > 0; }));
    clock.step_ms(1);
    tasks.runPass();
    EXPECT_TRUE(pump([&] { return reports() >= 1; }));
    // The time over the interval is not carried: the next report is a whole interval on.
    clock.step_ms(GUIController::STATUS_INTERVAL_MS);
    tasks.runPass();
    EXPECT_FALSE(within(3, [&] { return reports() > 1; }));
    clock.step_ms(1);
    tasks.runPass();
    EXPECT_TRUE(pump([&] { return reports() >= 2; }));
    EXPECT_EQ(2, reports());
    // One entry per upload slot: its handle and its rate, idle here.
    std::vector<UploadSlot*> slots;
    theUploadPool.slots(slots);
    std::string entries = le16((uint16_t)slots.size());
    for (UploadSlot* s : slots) entries += le32(ui.slotHandles().handleFor(s)) + le32(0);
    for (const Frame& f : end.got) {
        if (f.op == GUIController::OUT_UPLOAD_STATUS) {
            EXPECT_EQ(entries, f.body);
        }
    }
}

TEST_F(GUIControllerTest, DiskInformationNamesTheFreeSpaceTheIdAndTheConnections) {
    uint32_t savedId = theCoreOptions.getClientId();
    theCoreOptions.setClientId(0x04030201);
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    end.send(GUIController::IN_DISK_INFO);
    std::string body;
    ASSERT_TRUE(await(end, GUIController::OUT_DISK_INFO, &body));
    Fields f(body);
    float tempFree = f.f32(), incomingFree = f.f32();
    // The free space moves while other tests write: compare within a GiB.
    EXPECT_NEAR((double)(i4_free_space(theTransferOptions.getTemp().c_str()) >> 20), tempFree,
                1024.0);
    EXPECT_NEAR((double)(i4_free_space(theTransferOptions.getIncoming().c_str()) >> 20),
                incomingFree, 1024.0);
    EXPECT_EQ(0u, f.u32());
    EXPECT_EQ(0x04030201u, f.u32());
    f.u16();  // the core's pool: not this test's
    EXPECT_EQ(0, f.u16());
    EXPECT_EQ(0u, f.left());
    theCoreOptions.setClientId(savedId);
}

TEST_F(GUIControllerTest, SharedDirectoriesAndFilesAreListed) {
    FileMeta* song = new FileMeta;
    uint8_t hash[16];
    memset(hash, 0x5a, 16);
    song->setFileHash(hash);
    song->setName("song.ogg");
    song->setFileSize(1234);
    theTransferGateway.sharedList.add(song);
    std::vector<i4_string> saved;
    theTransferGateway.shareList.directoryNames(saved);
    TempDir root;
    std::string music = root / "music", films = root / "films";
    mkdir(music.c_str(), 0700);
    mkdir(films.c_str(), 0700);
    theTransferGateway.shareList.setDirectories(
        {i4_string(music.c_str()), i4_string(films.c_str())});

    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    end.send(GUIController::IN_SHARED_DIRECTORIES);
    std::string dirs, files;
    ASSERT_TRUE(await(end, GUIController::OUT_SHARED_DIRECTORIES, &dirs));
    end.send(GUIController::IN_SHARED_FILES);
    ASSERT_TRUE(await(end, GUIController::OUT_SHARED_FILES, &files));

    Fields d(dirs);
    uint16_t n = d.u16();
    std::vector<std::string> names;
    for (uint16_t i = 0; i < n; i++) names.push_back(d.str());
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), music));
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), films));
    EXPECT_EQ(0u, d.left());

    FileList got;
    i4_ram_file_class in(&files[0], (int32_t)files.size(), 0);
    ASSERT_TRUE(got.fromNetwork(in));
    ASSERT_EQ(1, got.getList()->count());
    FileMeta* back = got.findByHash(hash);
    ASSERT_NE(nullptr, back);
    EXPECT_STREQ("song.ogg", back->getName());
    got.deleteAll();

    theTransferGateway.sharedList.getList()->remove(song);
    delete song;
    theTransferGateway.shareList.setDirectories(saved);
}

TEST_F(GUIControllerTest, UploadPrioritiesAboveTwoDoNothing) {
    FileMeta* song = new FileMeta;
    uint8_t hash[16];
    memset(hash, 0x6b, 16);
    song->setFileHash(hash);
    song->setFileSize(1);
    theTransferGateway.sharedList.add(song);
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    struct Case {
        uint8_t sent;
        int32_t kept;
    } cases[] = {{2, 2}, {3, 2}, {0, 0}, {255, 0}, {1, 1}};
    for (const Case& c : cases) {
        end.send(GUIController::IN_UPLOAD_PRIORITY, std::string((char*)hash, 16) + (char)c.sent);
        end.send(GUIController::IN_OPTIONS);
        ASSERT_TRUE(await(end, GUIController::OUT_OPTIONS));
        EXPECT_EQ(c.kept, song->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY)) << (int)c.sent;
    }
    theTransferGateway.sharedList.getList()->remove(song);
    delete song;
}

TEST_F(GUIControllerTest, ADownloadByRecordIsQueuedOnlyWhenTheRecordReads) {
    MessageRecorder posted({MSG_START_DOWNLOAD});
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    FileMeta record;
    uint8_t hash[16];
    memset(hash, 0x77, 16);
    record.setFileHash(hash);
    record.setName("film.avi");
    record.setFileSize(700000000);
    i4_ram_file_class wire(nullptr, 0, 256);
    ASSERT_TRUE(record.toNetwork(wire));
    std::string good((const char*)wire.get_buffer(), (size_t)wire.tell());
    i4_free(wire.get_buffer());
    end.send(GUIController::IN_DOWNLOAD_RECORD, good.substr(0, good.size() - 3));
    end.send(GUIController::IN_DOWNLOAD_RECORD, good);
    end.send(GUIController::IN_OPTIONS);
    ASSERT_TRUE(await(end, GUIController::OUT_OPTIONS));
    std::vector<MessageRecorder::Seen>& seen = posted.drain();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(std::string((char*)hash, 16), seen[0].hash);
}

TEST_F(GUIControllerTest, StopEndsTheConsoleLoopsRunning) {
    Servant servant;
    Servant* saved = theServant;
    theServant = &servant;
    static int woken;
    woken = 0;
    servant.setStopWaker([] { woken++; });
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    end.send(GUIController::IN_STOP);
    ASSERT_TRUE(pump([&] { return !servant.isRunning(); }));
    EXPECT_EQ(1, woken);
    theServant = saved;
}

TEST_F(GUIControllerTest, ControllerTrafficIsNeitherLimitedNorCounted) {
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    GUIController* c = controllers.back();
    // A byte a second each way: peer traffic would take minutes for one options packet.
    bandwidth.setUploadLimit(0.001);
    bandwidth.setDownloadLimit(0.001);
    for (int i = 0; i < 5; i++) {
        end.send(GUIController::IN_OPTIONS);
        ASSERT_TRUE(await(end, GUIController::OUT_OPTIONS));
    }
    // The pass gave the pool its own budgets back.
    EXPECT_LT(Connection::sendBudget, 100);
    EXPECT_LT(Connection::receiveBudget, 100);
    bandwidth.setUploadLimit(0);
    bandwidth.setDownloadLimit(0);
    EXPECT_EQ(0, c->periodSent());
    EXPECT_EQ(0, c->periodReceived());
    EXPECT_EQ(0, pool->totalSent());
    EXPECT_EQ(0, pool->totalReceived());
}

}  // namespace
