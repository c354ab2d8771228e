#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/CoreOptions.h"
#include "core/StringTable.h"
#include "core/XMLStringTable.h"
#include "i4min/TempDir.h"
#include "support/CapturedUI.h"
#include "ui/Servant.h"
#include "ui/SettingsCommands.h"

namespace {

typedef void (*Handler)(char* line);

const Handler kHandlers[] = {
    SettingsCommands::maxConnections, SettingsCommands::name,      SettingsCommands::bandwidth,
    SettingsCommands::verbose,        SettingsCommands::lineSpeed, SettingsCommands::language,
    SettingsCommands::pageLines,
};
const char* const kWords[] = {"mcon", "name", "dumax", "verbose", "line", "lang", "lines"};

class SettingsCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = theServant;
        theServant = &servant;
        theCoreOptions.load(base.path.c_str());
    }
    void TearDown() override {
        theServant = saved;
        theCoreOptions.maxCon = CoreOptions::DEFAULT_MAX_CON;
        theCoreOptions.lineDown = 0;
        theCoreOptions.setMaxUpload(0);
        theCoreOptions.setMaxDownload(0);
    }

    // Runs a line as the command runner would: the handler of its first word
    // gets its own copy. Answers what it printed.
    std::string run(const char* line) {
        std::vector<char> copy(line, line + strlen(line) + 1);
        std::vector<char> split(copy);
        char* rest = nullptr;
        const char* first = strtok_r(split.data(), Servant::DELIMITERS, &rest);
        std::string word = first ? first : "";
        for (size_t i = 0; i < sizeof kWords / sizeof kWords[0]; ++i)
            if (word == kWords[i]) {
                ui.out.clear();
                kHandlers[i](copy.data());
                return ui.out.text();
            }
        ADD_FAILURE() << "no handler for " << line;
        return "";
    }

    TempDir base;
    CapturedUI ui;
    Servant servant;
    Servant* saved = nullptr;
};

// Lines run in order, each with what it prints; the state after them is
// checked in the tests below.
TEST_F(SettingsCommandsTest, EachCommandPrintsWhatItSetOrShows) {
    const struct {
        const char* line;
        const char* printed;
    } steps[] = {
        {"mcon", "45\n"},
        {"mcon 12x", ""},
        {"mcon", "45\n"},
        {"mcon -5", "Done.\n"},
        {"mcon", "-5\n"},
        {"mcon 99999999999", ""},
        {"mcon 77 3", "Done.\n"},
        {"mcon", "77\n"},
        {"dumax 40 3", "Done.\n"},
        {"dumax 1", "d/u: 9.00/3.00\n"},
        {"dumax", "d/u: 9.00/3.00\n"},
        {"dumax 0 0", "Done.\n"},
        {"dumax", "d/u: 0.00/0.00\n"},
        {"line 12.7", "Done.\n"},
        {"line", "12\n"},
        {"line -3", "Done.\n"},
        {"line", "0\n"},
        {"line 1e30", "Done.\n"},
        {"line", "2147483647\n"},
        {"verbose", "Verbose mode on.\n"},
        {"verbose -x", "Verbose mode off.\n"},
        {"verbose x", "Verbose mode on.\n"},
        {"lang nosuch", "ok.\n"},
        {"lang", "Invalid arguments.\n"},
        {"lang ../nosuch", "Invalid arguments.\n"},
        {"lines", "24\n"},
        {"lines 10", "set.\n"},
        {"lines", "10\n"},
        {"lines 0", ""},
        {"lines -3", ""},
        {"lines 7x", ""},
        {"lines 100001", ""},
        {"lines", "10\n"},
        {"name alice", "ok.\n"},
        {"name", "alice\n"},
        {"name\talice", "alice\n"},
        {" name", "alice\n"},
    };
    for (const auto& s : steps) EXPECT_EQ(s.printed, run(s.line)) << s.line;
}

TEST_F(SettingsCommandsTest, ValuesReachTheSettingsThroughAFloat) {
    run("dumax 40 3");
    EXPECT_EQ(3.0, theCoreOptions.getMaxUpload());
    EXPECT_EQ(9.0, theCoreOptions.getMaxDownload()) << "capped by the slow upload";
    run("dumax 100.1 20");
    EXPECT_EQ((double)100.1f, theCoreOptions.getMaxDownload());
    run("line 12.7");
    EXPECT_EQ((double)12.7f, theCoreOptions.lineDown);
    run("mcon 77");
    EXPECT_EQ(77, theCoreOptions.maxCon);
    run("lines 10");
    EXPECT_EQ(10, servant.getPager().getLines());
    run("verbose");
    EXPECT_TRUE(ui.gateway.isVerbose());
    run("verbose -");
    EXPECT_FALSE(ui.gateway.isVerbose());
}

// The name is everything after the first blank that follows the command word,
// blanks and delimiters included, cut to 128 characters and then to what the settings keep.
TEST_F(SettingsCommandsTest, NameTakesTheRestOfTheLineAsItIs) {
    const std::string longName(200, 'n');
    const struct {
        std::string line;
        std::string name;
    } cases[] = {
        {"name alice", "alice"},
        {"name  two, words\t\"x\"", " two, words\t\"x\""},
        {"name %s%n%d", "%s%n%d"},
        {"name " + longName, longName.substr(0, CoreOptions::MAX_NAME)},
        {"name ", ""},
        {" ,name carol", "carol"},
        {"\tname\tx y", "y"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ("ok.\n", run(c.line.c_str())) << c.line;
        EXPECT_EQ(c.name, theCoreOptions.getUserName().c_str()) << c.line;
    }
    theCoreOptions.setUserName("%s%n");
    EXPECT_EQ("%s%n\n", run("name"));
}

TEST_F(SettingsCommandsTest, LangLoadsThePlainTableFromTheBaseDirectory) {
    std::ofstream(base / "de.str") << "\nWarteschlange\n";
    EXPECT_EQ("ok.\n", run("lang de"));
    EXPECT_STREQ("Warteschlange", theStringTable.get(1).c_str());
    EXPECT_EQ("Invalid arguments.\n", run("lang /etc/passwd"));
    EXPECT_STREQ("Warteschlange", theStringTable.get(1).c_str()) << "a refused name loads nothing";
    EXPECT_EQ("ok.\n", run("lang nosuch"));
    EXPECT_STREQ(XMLStringTable::defaultText(1), theStringTable.get(1).c_str());
}

}  // namespace
