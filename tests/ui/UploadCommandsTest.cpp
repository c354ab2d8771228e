// "vu" and "vq": the upload slots and the waiting peers as the console lists them.
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/CoreOptions.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "meta/UserMeta.h"
#include "support/CapturedUI.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/upload/UploadPool.h"
#include "ui/Servant.h"
#include "ui/UploadCommands.h"

namespace {

class UploadCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        initSpecialTags();
        saved = theServant;
        theServant = &servant;
        servant.getPager().setKeyReader([] { return ' '; });
        theUploadPool.getQueue().clear();
    }
    void TearDown() override {
        theServant = saved;
        theUploadPool.getQueue().clear();
        theTransferGateway.sharedList.deleteAll();
    }
    std::string run(void (*handler)(char*)) {
        char line[] = "";
        ui.out.clear();
        handler(line);
        EXPECT_TRUE(servant.getPager().isActive());
        servant.getPager().show();
        return ui.out.text();
    }
    static void hashOf(uint8_t seed, uint8_t out[16]) { memset(out, seed, 16); }
    void share(uint8_t seed, const char* name, int priority) {
        FileMeta* m = new FileMeta;
        uint8_t h[16];
        hashOf(seed, h);
        m->setFileHash(h);
        m->setName(name);
        int32_t p = priority;
        m->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &p);
        theTransferGateway.sharedList.add(m);
    }
    void queue(uint8_t seed, int n, const char* name) {
        UserMeta u;
        u.ip = 0x0100000A + ((uint32_t)n << 24);
        u.port = 4662;
        memset(u.hash, n, 16);
        u.setName(name);
        uint8_t h[16];
        hashOf(seed, h);
        theUploadPool.getQueue().add(&u, h);
    }

    CapturedUI ui;
    Servant servant;
    Servant* saved = nullptr;
};

TEST_F(UploadCommandsTest, VqListsEachFileQueueInServiceOrderWithItsPeers) {
    share(0x11, "song.ogg", 2);
    queue(0x11, 1, "alice");
    queue(0x22, 2, "bob");  // a file no longer shared
    queue(0x11, 3, "carol");
    EXPECT_EQ(
        "Upload Queue (3): \n"
        "(1) song.ogg 2:\n"
        "\t1) alice\n"
        "\t2) carol\n"
        "(2) ???? 0:\n"
        "\t1) bob\n",
        run(UploadCommands::viewQueue));
}

TEST_F(UploadCommandsTest, VuListsEverySlotThenTheTotalAndInMasterModeThePriorities) {
    theCoreOptions.upRate = 1.5;
    theCoreOptions.maxUpSpeed = 12.25;
    const std::string tail = "Total: 1.50 (12.25)\n";
    EXPECT_EQ("File Name\t\tWho\t\tSpeed\n(1) \t\t0.0\n(2) \t\t0.0\n" + tail,
              run(UploadCommands::viewUploads));
    servant.setMasterMode(true);
    EXPECT_EQ("File Name\t\tWho\t\tSpeed\n(1) \t\t0.0 (-30000)\n(2) \t\t0.0 (-30000)\n" + tail,
              run(UploadCommands::viewUploads));
}

}  // namespace
