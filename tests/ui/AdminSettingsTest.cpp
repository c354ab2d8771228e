#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/CoreOptions.h"
#include "i4min/TempDir.h"
#include "support/CapturedUI.h"
#include "ui/AdminCommands.h"
#include "ui/AdminSettings.h"

namespace {

class AdminSettingsTest : public ::testing::Test {
protected:
    AdminSettingsTest() {
        theCoreOptions.load(base.path.c_str());
        savedName = theAdminSettings.getName();
        savedPass = theAdminSettings.getPass();
        savedPort = theAdminSettings.getDoorPort();
    }
    ~AdminSettingsTest() override {
        theAdminSettings.setCredentials(savedName.c_str(), savedPass.c_str());
        theAdminSettings.setDoorPort(savedPort);
    }
    // Runs the command's handler on its own copy of the line; what it printed.
    std::string run(void (*handler)(char*), const char* line) {
        std::vector<char> copy(line, line + strlen(line) + 1);
        ui.out.clear();
        handler(copy.data());
        return ui.out.text();
    }

    TempDir base;
    CapturedUI ui;
    i4_string savedName, savedPass;
    int savedPort;
};

TEST_F(AdminSettingsTest, AbsentOrImpossibleValuesGiveTheDefaults) {
    const struct {
        const char* what;
        bool store;
        int port;
        int loaded;
    } cases[] = {
        {"absent", false, 0, 4663},   {"5000", true, 5000, 5000}, {"0", true, 0, 4663},
        {"65536", true, 65536, 4663}, {"-1", true, -1, 4663},     {"65535", true, 65535, 65535},
    };
    for (const auto& c : cases) {
        CoreOptions settings;
        if (c.store) settings.setIntPref("adminDoorPort", c.port);
        AdminSettings admin;
        admin.setCredentials("left", "over");
        admin.setDoorPort(1234);
        admin.load(settings);
        EXPECT_EQ(c.loaded, admin.getDoorPort()) << c.what;
        EXPECT_STREQ("", admin.getName().c_str()) << c.what;
        EXPECT_STREQ("", admin.getPass().c_str()) << c.what;
    }
}

TEST_F(AdminSettingsTest, SavedKeysReadBack) {
    CoreOptions settings;
    AdminSettings admin;
    admin.setCredentials("zet", "quimbal");
    ASSERT_TRUE(admin.setDoorPort(5000));
    admin.save(settings);
    int port = 0;
    ASSERT_TRUE(settings.getIntPref("adminDoorPort", &port));
    EXPECT_EQ(5000, port);
    EXPECT_STREQ("zet", settings.getStringPref("adminName"));
    EXPECT_STREQ("quimbal", settings.getStringPref("adminPass"));
    AdminSettings again;
    again.load(settings);
    EXPECT_STREQ("zet", again.getName().c_str());
    EXPECT_STREQ("quimbal", again.getPass().c_str());
    EXPECT_EQ(5000, again.getDoorPort());
}

// Blank credentials mean no remote control at all, not a login with two empty strings.
TEST_F(AdminSettingsTest, PassSetsBothOrClearsBothAndBlankAcceptsNobody) {
    const struct {
        const char* line;
        const char* name;
        const char* pass;
    } steps[] = {
        {"pass zet quimbal", "zet", "quimbal"},
        {"pass zet", "", ""},
        {"pass a,b", "a", "b"},
        {"pass", "", ""},
        {"pass one two three", "one", "two"},
        {"pass \"\" x", "", ""},
    };
    for (const auto& s : steps) {
        EXPECT_EQ("", run(AdminCommands::password, s.line)) << s.line;
        EXPECT_STREQ(s.name, theAdminSettings.getName().c_str()) << s.line;
        EXPECT_STREQ(s.pass, theAdminSettings.getPass().c_str()) << s.line;
        bool set = *s.name != 0;
        EXPECT_EQ(set, theAdminSettings.accepts(s.name, s.pass)) << s.line;
        EXPECT_FALSE(theAdminSettings.accepts("", "")) << s.line;
        EXPECT_FALSE(theAdminSettings.accepts(s.name, "wrong")) << s.line;
    }
    theAdminSettings.setCredentials("zet", "quimbal");
    EXPECT_FALSE(theAdminSettings.accepts("zet", "quimbalx"));
    EXPECT_FALSE(theAdminSettings.accepts("zet", "quimba"));
    EXPECT_FALSE(theAdminSettings.accepts("ze", "quimbal"));
}

TEST_F(AdminSettingsTest, AportSetsAPortASocketCanHaveAndShowsItOtherwise) {
    theAdminSettings.setDoorPort(4663);
    const struct {
        const char* line;
        const char* printed;
        int port;
    } steps[] = {
        {"aport", "4663\n", 4663},
        {"aport 5000", "Port will change when you restart.\n", 5000},
        {"aport", "5000\n", 5000},
        {"aport x", "5000\n", 5000},
        {"aport 0", "5000\n", 5000},
        {"aport 70000", "5000\n", 5000},
        {"aport -4", "5000\n", 5000},
        {"aport 65535", "Port will change when you restart.\n", 65535},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.printed, run(AdminCommands::adminPort, s.line)) << s.line;
        EXPECT_EQ(s.port, theAdminSettings.getDoorPort()) << s.line;
    }
}

}  // namespace
