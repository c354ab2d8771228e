#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "core/StringTable.h"
#include "core/TransferUI.h"
#include "core/XMLStringTable.h"
#include "i4min/TempDir.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "util/XMLParser.h"

namespace {

struct Numbered {
    int id;
    const char* key;
    const char* text;
};

// The texts exactly as users see them, by the numbers other code quotes.
const Numbered kNumbered[] = {
    {1, "STRINGS_DL_STATUS_QUEUED", "Queued"},
    {2, "STRINGS_DL_STATUS_LOOKING", "Looking..."},
    {3, "STRINGS_DL_STATUS_DOWNLOADING", "Downloading"},
    {4, "STRINGS_DL_STATUS_PAUSED", "Paused"},
    {5, "STRINGS_DL_STATUS_DISKFULL", "Insufficient Disk Space."},
    {6, "STRINGS_DL_STATUS_NOSOURCES", "No Sources"},
    {7, "STRINGS_DL_STATUS_DONE", "Done"},
    {8, "STRINGS_DL_STATUS_HASHING", "Hashing..."},
    {9, "STRINGS_DL_STATUS_ERROR_LOADING", "Error loading."},
    {10, "STRINGS_DL_STATUS_COMPLETING", "Completing"},
    {11, "STRINGS_DL_STATUS_COMPLETE", "Complete"},
    {12, "STRINGS_DL_STATUS_CORRUPTED", "Corrupted"},
    {13, "STRINGS_DL_STATUS_ERROR_HASHING", "Error hashing."},
    {14, "STRINGS_DL_STATUS_TRANSFERING", "Transferring."},
    {15, "STRINGS_ALREADY_DOWNLOADING", "You are already downloading"},
    {16, "STRINGS_DOWNLOADING", "Downloading"},
    {17, "STRINGS_ALREADY_HAVE", "You already have"},
    {18, "STRINGS_COULDNT_CREATE_TEMP_FILE",
     "Couldn't create temp file. Check temp directory in options."},
    {19, "STRINGS_CANT_CANCEL_HASH", "Can't cancel while hashing."},
    {20, "STRINGS_SETTINGS_NOT_SAVED", "Settings couldn't be saved"},
    {21, "STRINGS_NO_SEARCH_EXTEND", "No search to extend."},
    {22, "STRINGS_EXTENDING_TO", "Extending to:"},
    {23, "STRINGS_SENDING_SEARCH", "Sending search."},
    {24, "STRINGS_CANT_OPEN_PORT",
     "Can't Listen for connections. Please adjust your proxy settings in the options tab."},
    {25, "STRINGS_UNKNOWN_COMMAND", "Unrecognized command. type ? for help"},
    {26, "STRINGS_NONE", "None."},
    {27, "STRINGS_ADDED", "added"},
    {28, "STRINGS_INVALID_ARGUMENTS", "Invalid arguments"},
    {29, "STRINGS_CANT_CHANGE_TEMP", "Can't change temporary directory with pending downloads."},
    {30, "STRINGS_ASKING", "Asking"},
    {31, "STRINGS_FOR_FILE_LIST", "for file list."},
    {32, "STRINGS_WAITING_CONNECTION", "Waiting for connection."},
    {33, "STRINGS_CANT_CONNECT_USER", "Can't connect to User."},
    {34, "STRINGS_LOADING_SHARED", "Loading shared files..."},
    {35, "STRINGS_COULDNT_HASH", "Couldn't hash"},
    {36, "STRINGS_DONE_LOADING_SHARED", "Done loading shared files."},
    {37, "STRINGS_PLACED_ON_Q", "Placed on connection Queue."},
    {38, "STRINGS_CORRUPTION_FOUND", "Corruption found in"},
    {39, "STRINGS_AT", "at"},
    {40, "STRINGS_CORRUPTED_DOWNLOAD", "Corrupted Download"},
    {41, "STRINGS_COULDNT_BE_MOVED", "could not be moved to"},
    {42, "STRINGS_COULDNT_LOAD_PARTS", "Couldn't load partials"},
    {43, "STRINGS_NOT_CONNECTED", "Not connected to a server."},
    {44, "STRINGS_ALREADY_TRYING_CONNECT", "Already trying to connect."},
    {45, "STRINGS_ALREADY_CONNECTED_TO", "Already connected to that server."},
    {46, "STRINGS_CANT_CONNECT_TO", "Can't connect to"},
    {47, "STRINGS_ALREADY_CONNECTED", "Already Connected."},
    {48, "STRINGS_CONNECTING_TO", "Connecting to"},
    {49, "STRINGS_ALREADY_TRYING_THIS_CONNECT", "Already trying to connect to that server."},
    {50, "STRINGS_NO_MORE_EXTEND", "No more servers to extend to."},
    {51, "STRINGS_CONNECTIONS_FULL", "Connections Full."},
    {52, "STRINGS_NAME", "Name"},
    {53, "STRINGS_SIZE", "Size"},
    {54, "STRINGS_TYPE", "Type"},
    {55, "STRINGS_FORMAT", "Format"},
    {56, "STRINGS_COLTYPE", "Collection Type"},
    {57, "STRINGS_DESC", "Description"},
    {58, "STRINGS_PORT", "Port"},
    {59, "STRINGS_IP", "IP"},
    {60, "STRINGS_VERSION", "Version"},
    {61, "STRINGS_PRIORITY", "Priority"},
    {62, "STRINGS_AVAILABILITY", "Availability"},
    {63, "STRINGS_ASSIGNED_SLOT", "Assigned Slot:"},
    {64, "STRINGS_NUM_ON_Q", "Number on Queue:"},
    {65, "STRINGS_CALLING", "Calling"},
    {66, "STRINGS_PMSG_MAKING_CON", "Making Connection. Please wait..."},
    {67, "STRINGS_PMSG_CANT_CON", "Can't connect to other user."},
    {68, "STRINGS_PMSG_STATENAME0", "Connected"},
    {69, "STRINGS_PMSG_STATENAME1", "Waiting"},
    {70, "STRINGS_PMSG_STATENAME2", "Routing"},
    {71, "STRINGS_PMSG_STATENAME3", "Can't Connect"},
    {72, "STRINGS_ENTER_USER_IP", "Enter the users' IP that you want to add."},
    {73, "STRINGS_ENTER_SERVER_IP", "Enter the server's IP that you want to add."},
    {74, "STRINGS_NO_RESULTS", "No search results found."},
    {75, "STRINGS_CANTSHARE", "You really shouldn't share that directory."},
    {76, "STRINGS_SURE_CANCEL", "Are you sure you want to cancel"},
    {77, "STRINGS_CONFIRM_CANCEL", "Confirm Cancel"},
    {78, "STRINGS_FSS_UNASKED", "Unasked"},
    {79, "STRINGS_FSS_WAITCONNECTION", "Waiting for connection"},
    {80, "STRINGS_FSS_WAIT_CHUNKS_BQ", "Waiting for connection"},
    {81, "STRINGS_FSS_ONQUEUE", "Queue Place:"},
    {82, "STRINGS_FSS_WAIT_CHUNKS", "Waiting for chunks"},
    {83, "STRINGS_FSS_TRANSFERRING", "Transferring"},
    {84, "STRINGS_FSS_BADSOURCE", "Bad Source"},
    {85, "STRINGS_FSS_GONE", "Gone"},
    {86, "STRINGS_FSS_NONEEDED", "No Needed Parts"},
    {87, "STRINGS_FSS_ASKING_PARTNER", "Asking Partner"},
    {88, "STRINGS_FSS_PARTNER", "Partner"},
};
const int kCount = sizeof kNumbered / sizeof kNumbered[0];

// A ui.xml document built from (key, label) pairs; a null label gives an
// element without one.
std::string uiXml(const std::vector<std::pair<std::string, const char*>>& entries) {
    std::string xml = "<skin>\n  <STRINGS>\n";
    for (const auto& e : entries) {
        xml += "    <" + e.first;
        if (e.second) xml += std::string(" label=\"") + e.second + "\"";
        xml += "/>\n";
    }
    return xml + "  </STRINGS>\n</skin>\n";
}

// A ".str" file with the given content in its own scratch directory.
struct TempFile {
    explicit TempFile(const std::string& content) : path(dir / "default.str") {
        writeText(path, content);
    }
    TempDir dir;
    std::string path;
};

}  // namespace

TEST(XMLStringTable, AllNumberedTextsAreBuiltIn) {
    ASSERT_EQ(88, kCount);
    XMLStringTable table;
    for (const Numbered& n : kNumbered) {
        SCOPED_TRACE(n.id);
        EXPECT_STREQ(n.key, XMLStringTable::keyOf(n.id));
        EXPECT_STREQ(n.text, table.get(n.id));
        EXPECT_STREQ(n.text, theXMLStringTable.get(n.id));
    }
    EXPECT_STREQ("", XMLStringTable::keyOf(0));
    EXPECT_STREQ(table.get(79), table.get(80));
    for (int outside : {0, 89, -1, 1000}) EXPECT_EQ(nullptr, table.get(outside)) << outside;
}

TEST(XMLStringTable, UiXmlReplacesEveryNumberedText) {
    std::vector<std::pair<std::string, const char*>> entries;
    std::vector<std::string> labels;
    labels.reserve(kCount);
    for (const Numbered& n : kNumbered) labels.push_back("text " + std::to_string(n.id) + " %s");
    for (int i = 0; i < kCount; i++) entries.push_back({kNumbered[i].key, labels[i].c_str()});
    XMLParser parser;
    std::string xml = uiXml(entries);
    XMLStringTable table;
    table.load(parser.parse(xml.c_str()));
    for (int i = 0; i < kCount; i++) EXPECT_EQ(labels[i], table.get(kNumbered[i].id));
    EXPECT_EQ(nullptr, table.get(0));
}

TEST(XMLStringTable, PartialUiXmlKeepsDefaultsElsewhere) {
    struct Case {
        const char* name;
        std::string xml;
        int id;
        const char* expected;
    };
    const Case cases[] = {
        {"replaced", uiXml({{"STRINGS_NONE", "Nothing here."}}), 26, "Nothing here."},
        {"neighbour untouched", uiXml({{"STRINGS_NONE", "Nothing here."}}), 25,
         "Unrecognized command. type ? for help"},
        {"names ignore case", uiXml({{"strings_none", "lower"}}), 26, "lower"},
        {"no label", uiXml({{"STRINGS_NONE", nullptr}}), 26, "None."},
        {"empty label", uiXml({{"STRINGS_NONE", ""}}), 26, ""},
        {"entities decoded", uiXml({{"STRINGS_AT", "&lt;at&gt; &amp; &#65;"}}), 39, "<at> & A"},
        {"STRINGS missing", "<skin><OTHER><STRINGS_NONE label=\"x\"/></OTHER></skin>", 26, "None."},
        {"after an XML declaration",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + uiXml({{"STRINGS_NONE", "decl"}}), 26,
         "decl"},
        {"not under the first element",
         "<a/><skin><STRINGS><STRINGS_NONE label=\"x\"/></STRINGS></skin>", 26, "None."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XMLParser parser;
        XMLStringTable table;
        table.load(parser.parse(c.xml.c_str()));
        EXPECT_STREQ(c.expected, table.get(c.id));
    }
}

TEST(XMLStringTable, LocalizeAndLookupByFreeKey) {
    XMLParser parser;
    std::string xml = uiXml({{"done", "Fertig"},
                             {"verboseOn", "100% %s"},
                             {"bare", nullptr},
                             {"STRINGS_NONE", "Nichts."}});
    XMLStringTable table;
    table.load(parser.parse(xml.c_str()));

    struct Case {
        const char* key;
        const char* english;
        const char* localized;
        const char* looked;
    };
    const Case cases[] = {
        {"done", "done", "Fertig", "Fertig"},
        {"DONE", "done", "Fertig", "Fertig"},
        {"verboseOn", "Verbose mode on", "100% %s", "100% %s"},
        {"bare", "bare", "bare", ""},
        {"missing", "Missing", "Missing", ""},
        {"STRINGS_NONE", "None.", "Nichts.", "Nichts."},
        {nullptr, "kept", "kept", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key ? c.key : "(null)");
        i4_string text(c.english);
        table.localize(c.key, text);
        EXPECT_STREQ(c.localized, text.c_str());
        EXPECT_STREQ(c.looked, table.lookup(c.key).c_str());
    }

    // Without a document the caller's English stays and lookups find nothing.
    table.load(nullptr);
    i4_string text("done");
    table.localize("done", text);
    EXPECT_STREQ("done", text.c_str());
    EXPECT_STREQ("", table.lookup("done").c_str());
    // A null document changes no numbered text.
    EXPECT_STREQ("Nichts.", table.get(26));
}

TEST(StringTable, StrFileReplacesEntriesLineByLine) {
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::pair<int, std::string>> expected;
    };
    const std::string long1023(1023, 'L');
    const Case cases[] = {
        {"first line is entry 0",
         "zero\none\ntwo\n",
         {{0, "zero"}, {1, "one"}, {2, "two"}, {3, "Downloading"}}},
        {"line ends cut", "a\r\nb\rc\nd", {{0, "a"}, {1, "b"}, {2, "d"}, {3, "Downloading"}}},
        {"empty lines empty entries", "\n\nx\n", {{0, ""}, {1, ""}, {2, "x"}}},
        {"long line cut, numbering kept", long1023 + "tail\nnext\n", {{0, long1023}, {1, "next"}}},
        {"no file content", "", {{0, ""}, {1, "Queued"}, {88, "Partner"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile file(c.content);
        ASSERT_FALSE(file.path.empty());
        StringTable table;
        table.setUp(file.path.c_str());
        EXPECT_EQ(89, table.getCount());
        for (const auto& e : c.expected)
            EXPECT_STREQ(e.second.c_str(), table.get(e.first).c_str()) << e.first;
    }
}

TEST(StringTable, ExtraLinesAndMissingFilesChangeNothingElse) {
    std::string many;
    for (int i = 0; i < 120; i++) many += "entry " + std::to_string(i) + "\n";
    TempFile file(many);
    StringTable table;
    table.setUp(file.path.c_str());
    EXPECT_EQ(89, table.getCount());
    EXPECT_STREQ("entry 88", table.get(88).c_str());
    EXPECT_STREQ("", table.get(89).c_str());

    // A missing file restores the defaults on the next setUp.
    table.setUp("/nonexistent/tornavel/default.str");
    EXPECT_EQ(89, table.getCount());
    EXPECT_STREQ("", table.get(0).c_str());
    for (const Numbered& n : kNumbered) EXPECT_STREQ(n.text, table.get(n.id).c_str()) << n.id;
    EXPECT_EQ(-1, table.loadText("/nonexistent/tornavel/default.str"));

    table.set(200, "ignored");
    table.set(-1, "ignored");
    EXPECT_EQ(89, table.getCount());
}

TEST(StringTable, CopyUiStringsRenamesTheSpecialTagColumns) {
    struct Case {
        const char* key;
        int tag;
        const char* english;
    };
    const Case cases[] = {
        {"STRINGS_NAME", 1, "Name"},
        {"STRINGS_SIZE", 2, "Size"},
        {"STRINGS_TYPE", 3, "Type"},
        {"STRINGS_FORMAT", 4, "Format"},
        {"STRINGS_COLTYPE", 5, "Collection Type"},
        {"STRINGS_DESC", 11, "Description"},
        {"STRINGS_PORT", 15, "Port"},
        {"STRINGS_IP", 16, "IP"},
        {"STRINGS_VERSION", 17, "Version"},
        {"STRINGS_PRIORITY", 19, "Priority"},
        {"STRINGS_AVAILABILITY", 21, "Availability"},
    };
    std::vector<std::pair<std::string, const char*>> entries;
    std::vector<std::string> labels;
    labels.reserve(sizeof cases / sizeof cases[0]);
    for (const Case& c : cases) {
        labels.push_back(std::string("col ") + c.english);
        entries.push_back({c.key, labels.back().c_str()});
    }
    const std::string untouched6 = SpecialTagInfo::get(6)->displayName.c_str();
    const std::string untouched24 = SpecialTagInfo::get(24)->displayName.c_str();

    XMLParser parser;
    std::string xml = uiXml(entries);
    theXMLStringTable.load(parser.parse(xml.c_str()));
    theStringTable.copyUiStrings();
    for (const Case& c : cases)
        EXPECT_EQ(std::string("col ") + c.english, SpecialTagInfo::get(c.tag)->displayName.c_str())
            << c.tag;
    EXPECT_EQ(untouched6, SpecialTagInfo::get(6)->displayName.c_str());
    EXPECT_EQ(untouched24, SpecialTagInfo::get(24)->displayName.c_str());

    // Back to the built-in texts, which are the tags' own names.
    XMLParser plain;
    theXMLStringTable.load(plain.parse("<skin><STRINGS/></skin>"));
    theStringTable.copyUiStrings();
    theXMLStringTable.load(nullptr);
    for (const Case& c : cases)
        EXPECT_STREQ(c.english, SpecialTagInfo::get(c.tag)->displayName.c_str()) << c.tag;
}

TEST(StringTable, PrintShowsEveryEntryAsData) {
    TempFile file("%s%n%d\n");
    StringTable table;
    table.setUp(file.path.c_str());
    CapturedUI console;
    table.print();
    std::string text = console.text();
    EXPECT_EQ(0u, text.find("%s%n%d\nQueued\nLooking...\n"));
    EXPECT_NE(std::string::npos, text.find("\nPartner\n"));
}

// The priority names are built once per process, so this runs in a fresh one.
TEST(StringTableDeathTest, PriorityNamesAreLocalizedOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            XMLParser parser;
            std::string xml = uiXml({{"high", "Hoch"}, {"highest", "Sehr hoch"}});
            theXMLStringTable.load(parser.parse(xml.c_str()));
            theStringTable.setUp("/nonexistent/tornavel/default.str");
            bool first =
                thePriorityNames[0].equals("Low") && thePriorityNames[1].equals("Normal") &&
                thePriorityNames[2].equals("Hoch") && thePriorityNames[3].equals("Sehr hoch");
            // Later setUps (the "lang" command) keep the names built first.
            theXMLStringTable.load(nullptr);
            theStringTable.setUp("/nonexistent/tornavel/other.str");
            bool kept = thePriorityNames[2].equals("Hoch");
            fprintf(stderr, "%s %s\n", first ? "first-ok" : "first-bad",
                    kept ? "kept-ok" : "kept-bad");
            exit(0);
        },
        ::testing::ExitedWithCode(0), "first-ok kept-ok");
}

TEST(TransferUI, DoorErrorNamesThePortAndPrintsTextsAsData) {
    struct Case {
        const char* name;
        std::string xml;
        int port;
        const char* expected;
    };
    const Case cases[] = {
        {"built-in texts", "", 4662,
         "ERROR: can't listen on port 4662.\n"
         "Port is probably in use.\nChange port by typing: 'port ####' at the prompt.\n"},
        {"configured port", "", 5123,
         "ERROR: can't listen on port 5123.\n"
         "Port is probably in use.\nChange port by typing: 'port ####' at the prompt.\n"},
        {"localized, with percent signs",
         uiXml({{"cantListenOnPort", "Port %s %d"}, {"errorCantStartDoor", "50% %n"}}), 4662,
         "Port %s %d 4662.\n50% %n\n"},
    };
    static int port;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XMLParser parser;
        theXMLStringTable.load(c.xml.empty() ? nullptr : parser.parse(c.xml.c_str()));
        port = c.port;
        TransferUI::setDoorPortSource(c.port == 4662 ? nullptr : +[] { return port; });
        CapturedUI console;
        TransferUI ui;
        ui.errorCantStartDoor();
        EXPECT_EQ(c.expected, console.text());
        theXMLStringTable.load(nullptr);
        TransferUI::setDoorPortSource(nullptr);
    }
}
