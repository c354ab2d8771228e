#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "core/CoreOptions.h"
#include "core/TransferUI.h"
#include "i4min/TempDir.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "transfer/share/TransferOptions.h"

namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class TransferOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        initSpecialTags();
        settings.load(dir.path.c_str());
    }
    int intPref(const char* key) {
        int v = -12345;
        EXPECT_TRUE(settings.getIntPref(key, &v)) << key;
        return v;
    }

    CapturedUI console;
    TempDir dir;
    CoreOptions settings;
    TransferOptions options;
};

TEST_F(TransferOptionsTest, AFirstStartGetsTheDefaultsAndItsDirectories) {
    options.load(settings);
    EXPECT_EQ(options.getDoorPort(), 4662);
    EXPECT_EQ(settings.getDoorPort(), 4662);
    EXPECT_EQ(std::string(options.getIncoming().c_str()), dir / "incoming");
    EXPECT_EQ(std::string(options.getTemp().c_str()), dir / "temp");
    EXPECT_TRUE(isDirectory(dir / "incoming"));
    EXPECT_TRUE(isDirectory(dir / "temp"));
    EXPECT_EQ(options.saveCor, 1);
    EXPECT_EQ(options.verifyCancel, 1);
    EXPECT_EQ(options.pmAllow, 0);
    EXPECT_EQ(options.frAllow, 0);
    EXPECT_EQ(options.resHD, 104857600u);
    EXPECT_EQ(std::string(options.getKnownPath().c_str()), dir / "known.met");
    EXPECT_EQ(std::string(options.getSharePath().c_str()), dir / "share.dat");
    EXPECT_EQ(std::string(options.getFriendPath().c_str()), dir / "friend.met");
    EXPECT_EQ(std::string(options.getUploadQueuePath().c_str()), dir / "uploadq.dat");

    options.save(settings);
    EXPECT_EQ(intPref("doorPort"), 4662);
    EXPECT_STREQ(settings.getStringPref("incoming"), (dir / "incoming").c_str());
    EXPECT_STREQ(settings.getStringPref("temp"), (dir / "temp").c_str());
    EXPECT_EQ(intPref("saveCor"), 1);
    EXPECT_EQ(intPref("verifyCancel"), 1);
    EXPECT_EQ(intPref("pmAllow"), 0);
    EXPECT_EQ(intPref("frAllow"), 0);
    EXPECT_EQ(intPref("resHD"), 102400);
    EXPECT_EQ(console.text(), "");
}

TEST_F(TransferOptionsTest, StoredValuesAreTakenAndWrittenBack) {
    std::string in = dir / "a/b/in coming";
    settings.setIntPref("doorPort", 4700);
    settings.setStringPref("incoming", in.c_str());
    settings.setStringPref("temp", "");
    settings.setIntPref("saveCor", 0);
    settings.setIntPref("verifyCancel", 0);
    settings.setIntPref("pmAllow", 2);
    settings.setIntPref("frAllow", 1);
    settings.setIntPref("resHD", 1);
    options.load(settings);
    EXPECT_EQ(options.getDoorPort(), 4700);
    EXPECT_EQ(settings.getDoorPort(), 4700);
    EXPECT_EQ(std::string(options.getIncoming().c_str()), in);
    EXPECT_TRUE(isDirectory(in));
    // An empty text counts as absent.
    EXPECT_EQ(std::string(options.getTemp().c_str()), dir / "temp");
    EXPECT_EQ(options.saveCor, 0);
    EXPECT_EQ(options.verifyCancel, 0);
    EXPECT_EQ(options.pmAllow, 2);
    EXPECT_EQ(options.frAllow, 1);
    EXPECT_EQ(options.resHD, 1024u);

    options.resHD = 5 * 1024 + 1023;
    options.save(settings);
    EXPECT_EQ(intPref("resHD"), 5);
    EXPECT_STREQ(settings.getStringPref("temp"), (dir / "temp").c_str());
}

TEST_F(TransferOptionsTest, DamagedNumbersFallBackToTheirDefaults) {
    const struct {
        const char* key;
        int stored;
    } cases[] = {{"doorPort", 0}, {"doorPort", 70000}, {"doorPort", -4}, {"resHD", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        settings.setIntPref(c.key, c.stored);
        TransferOptions fresh;
        fresh.load(settings);
        EXPECT_EQ(fresh.getDoorPort(), 4662);
        EXPECT_EQ(fresh.resHD, 104857600u);
        settings.getPrefs()->removeTag(c.key);
    }
}

TEST_F(TransferOptionsTest, TheTemporaryDirectoryChangesOnlyToAnotherPath) {
    options.load(settings);
    std::string current = options.getTemp().c_str();
    EXPECT_FALSE(options.setTemp(current.c_str()));
    std::string other = dir / "x/tmp";
    EXPECT_TRUE(options.setTemp(other.c_str()));
    EXPECT_TRUE(isDirectory(other));
    EXPECT_EQ(std::string(options.getTemp().c_str()), other);
    // Another letter case is another directory here.
    std::string upper = dir / "X/tmp";
    EXPECT_TRUE(options.setTemp(upper.c_str()));
    EXPECT_TRUE(isDirectory(upper));
    EXPECT_EQ(console.text(), "");
}

TEST_F(TransferOptionsTest, TheDoorPortChangesOnlyToAnotherPortAndReachesTheCore) {
    options.load(settings);
    EXPECT_FALSE(options.setDoorPort(4662));
    EXPECT_TRUE(options.setDoorPort(4700));
    EXPECT_EQ(settings.getDoorPort(), 4700);
    EXPECT_FALSE(options.setDoorPort(4700));
    options.save(settings);
    EXPECT_EQ(intPref("doorPort"), 4700);
}

TEST_F(TransferOptionsTest, TheDoorErrorNamesTheConfiguredPort) {
    theCoreOptions.load(dir.path.c_str());
    theTransferOptions.load();
    theTransferOptions.setDoorPort(4711);
    TransferUI ui;
    ui.errorCantStartDoor();
    EXPECT_NE(console.text().find("ERROR: can't listen on port 4711."), std::string::npos)
        << console.text();
    theTransferOptions.setDoorPort(4662);
}

}  // namespace
