#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

#include "core/CoreOptions.h"
#include "i4min/TempDir.h"
#include "meta/SpecialTagInfo.h"
#include "server/TransferLink.h"
#include "support/CapturedUI.h"
#include "support/Waiting.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"

// The server side publishes what the gateway shares, once a hashing pass is over.
TEST(TransferLinkShares, TheSharedListAndThePassDoneFlagAreTheGatewaysOwn) {
    CapturedUI console;
    TempDir dir;
    initSpecialTags();
    theCoreOptions.load(dir.path.c_str());
    theTransferOptions.load();
    TransferLink link;
    EXPECT_EQ(link.sharedFiles(), &theTransferGateway.sharedList);

    std::vector<i4_string> none;
    theHashThread.startHashing(none);
    waitUntil([] { return theHashThread.isPassDone(); });
    EXPECT_TRUE(link.sharedPassDone());

    theHashThread.stop();
}
