#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/ConClientApp.h"
#include "core/CoreOptions.h"
#include "core/UIMetaOutput.h"
#include "i4min/TempDir.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferOptions.h"
#include "ui/AdminSettings.h"

namespace {

const std::string kUnknown = "Unrecognized command. type ? for help\n\n";

// Runs a line through the console's command table; answers what it printed.
std::string run(CapturedUI& ui, const char* line) {
    ui.out.clear();
    theConClientApp.execute(line);
    return ui.out.text();
}

// The words in the order the help listing and the controllers know.
TEST(CommandTable, HoldsEveryWordInItsOrder) {
    const char* const words[] = {
        "?",    "a",      "a+",    "n",    "q",     "vr",     "vm",    "vd",   "vu",
        "vs",   "vf",     "vp",    "vq",   "vpart", "u",      "b",     "c",    "d",
        "m",    "s",      "xs",    "pass", "dumax", "auto",   "recon", "name", "verbose",
        "port", "aport",  "temp",  "in",   "line",  "vo",     "g",     "x",    "space",
        "lang", "save",   "asr",   "mcon", "lines", "dllink", "glist", "sc",   "cps",
        "test", "master", "spass", "gfr",  "afr",   "rfr",
    };
    ASSERT_EQ((int)(sizeof words / sizeof words[0]), ConClientApp::TABLE_SIZE);
    for (int i = 0; i < ConClientApp::TABLE_SIZE; ++i)
        EXPECT_STREQ(words[i], ConClientApp::TABLE[i].word) << "row " << i + 1;
}

// A word whose command is not built yet is unknown, never silently accepted;
// so is a handler that no row names.
TEST(CommandTable, WordsWithoutAHandlerAreUnknown) {
    CapturedUI ui;
    int unbuilt = 0;
    for (int i = 0; i < ConClientApp::TABLE_SIZE; ++i) {
        if (ConClientApp::TABLE[i].handler) continue;
        ++unbuilt;
        EXPECT_EQ(kUnknown, run(ui, ConClientApp::TABLE[i].word)) << ConClientApp::TABLE[i].word;
    }
    EXPECT_EQ(kUnknown, run(ui, "echo %s%s%s%n"));
    EXPECT_EQ(kUnknown, run(ui, "Master"));
    EXPECT_LT(unbuilt, ConClientApp::TABLE_SIZE);
}

TEST(GeneralCommands, MasterIsOffOnlyForADash) {
    CapturedUI ui;
    const struct {
        const char* line;
        bool on;
    } cases[] = {
        {"master", true},    {"master -x", false}, {"master foo", true},
        {"master -", false}, {"master, -", false}, {"master 0", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.on ? "Master mode on.\n" : "Master mode off.\n", run(ui, c.line)) << c.line;
        EXPECT_EQ(c.on, theConClientApp.isMasterMode()) << c.line;
    }
    theConClientApp.setMasterMode(false);
}

TEST(GeneralCommands, PartStyleIsSetByAnyArgumentAndClearedByNone) {
    CapturedUI ui;
    const struct {
        const char* line;
        bool set;
    } cases[] = {{"cps 0", true}, {"cps", false}, {"cps -", true}, {"cps ,", false}};
    for (const auto& c : cases) {
        EXPECT_EQ("", run(ui, c.line)) << c.line;
        EXPECT_EQ(c.set, theCoreOptions.partstyle) << c.line;
    }
}

TEST(GeneralCommands, OptionsShowEveryBuiltSettingInOrder) {
    CapturedUI ui;
    theCoreOptions.setUserName("alice");
    theCoreOptions.setMaxUpload(3);
    theCoreOptions.setMaxDownload(40);
    theCoreOptions.lineDown = (float)12.7;
    theCoreOptions.maxCon = 77;
    theConClientApp.getPager().setLines(10);
    ui.gateway.setVerbose(true);
    theAdminSettings.setCredentials("zet", "quimbal");
    EXPECT_EQ(
        "Name:\t\t\talice\n"
        "AdminName:\t\tzet\n"
        "AdminPass:\t\tquimbal\n"
        "AdminPort:\t\t4663\n"
        "Max Download Speed:\t9.00\n"
        "Max Upload Speed:\t3.00\n"
        "Line Speed Down:\t12.70\n"
        "Door Port:\t\t4662\n"
        "AutoConnect:\t\t0\n"
        "AutoReconnect:\t\t1\n"
        "Verbose:\t\t1\n"
        "SaveCorrupted:\t\t1\n"
        "AutoServerRemove:\t1\n"
        "MaxConnections:\t\t77\n"
        "ScreenLines:\t\t10\n",
        run(ui, "vo"));
    theAdminSettings.setCredentials("", "");

    // A name is shown as it is, never read as a format.
    const std::string longName(CoreOptions::MAX_NAME, 'x');
    for (const std::string& name : {std::string("%s%n%s%n"), longName}) {
        theCoreOptions.setUserName(name.c_str());
        std::string shown = run(ui, "vo");
        EXPECT_EQ("Name:\t\t\t" + name + "\n", shown.substr(0, shown.find('\n') + 1));
    }

    theCoreOptions.setMaxUpload(0);
    theCoreOptions.setMaxDownload(0);
    theCoreOptions.lineDown = 0;
    theCoreOptions.maxCon = CoreOptions::DEFAULT_MAX_CON;
    theConClientApp.getPager().setLines(PageViewer::DEFAULT_LINES);
}

TEST(GeneralCommands, ResultsAreListedFromTheSearchResults) {
    initSpecialTags();
    setMetaOutput(&theUIMetaOutput);  // as the core's start does
    CapturedUI ui;
    EXPECT_EQ("None.\n", run(ui, "vr"));
    for (const char* name : {"one.mp3", "two.avi"}) {
        FileMeta* result = new FileMeta;
        result->setName(name);
        theConClientApp.theSearchResults.add(result);
    }
    theConClientApp.theSearchResults.getAt(0)->setFileSize(1000);
    EXPECT_EQ("Name\tSize\t\n(1) one.mp3\t1000\t\n(2) two.avi\t\t\n", run(ui, "vr"));
    theConClientApp.theSearchResults.deleteAll();
    setMetaOutput(nullptr);
}

TEST(GeneralCommands, TestRunsTheSelfTestsToTheirVerdict) {
    // The download test's files go to a temporary directory of this test's own.
    TempDir temp;
    i4_string before = theTransferOptions.getTemp();
    theTransferOptions.setTemp(temp.path.c_str());
    int downloads = theDLPool.count();
    // Stands for the connect threads: where the self-test's sources connect to.
    std::vector<std::pair<uint32_t, int>> connects;
    theClientPool.setStarter([&connects](Peer* p) {
        connects.push_back({p->getIp(), p->getPort()});
        delete p;
        return 1;
    });
    CapturedUI ui;
    std::string out = run(ui, "test");
    theClientPool.setStarter(nullptr);
    size_t at = 0;
    for (const char* line :
         {" HashTable32 test:\n", " i4_strtok test:\n", " stristr test:\n", " BoolArray test:\n",
          " LL test:\n", " ListIterator test:\n", " UniqueID test:\n", " TransferTest test:\n",
          " TransferTest::testFileSource()\n"}) {
        size_t found = out.find(line, at);
        ASSERT_NE(std::string::npos, found) << line << " in order in " << out;
        at = found;
    }
    EXPECT_EQ("go.\n", out.substr(out.size() - 4));
    EXPECT_EQ(std::string::npos, out.find("ERRORS"));

    // The dead source's six connects stay on this machine, on a port nobody listens on.
    ASSERT_EQ(6u, connects.size());
    for (const auto& c : connects) {
        EXPECT_EQ(0x0100007Fu, c.first);
        EXPECT_EQ(connects[0].second, c.second);
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons((uint16_t)c.second);
        EXPECT_NE(0, connect(s, (sockaddr*)&a, sizeof a)) << "port " << c.second << " answers";
        close(s);
    }

    // Its made-up download stays, with its record in the temporary directory.
    ASSERT_EQ(downloads + 1, theDLPool.count());
    Download* left = theDLPool.downloadAt(downloads);
    ASSERT_NE(nullptr, left);
    EXPECT_STREQ("test.file", left->getFileName());
    left->release();
    struct stat record;
    EXPECT_EQ(0, stat((temp / "test.file/1.part.met").c_str(), &record));
    theDLPool.removeAll();
    theTransferOptions.setTemp(before.c_str());
}

}  // namespace
