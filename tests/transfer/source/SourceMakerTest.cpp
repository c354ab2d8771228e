#include <gtest/gtest.h>
#include <memory>
#include <string.h>
#include <string>

#include "../DownloadTestSupport.h"
#include "meta/UserMeta.h"
#include "net/IpPort.h"
#include "support/CapturedUI.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/source/FileSourceInterface.h"
#include "transfer/source/PeerSourceMaker.h"
#include "transfer/source/SourceMaker.h"
#include "transfer/web/HttpProtocol.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

namespace {

// Source texts given to a download become peer sources ("bcp") or HTTP sources, each once
// it is well-formed, with the peer side's maker and the gateway's protocol list in place.
TEST(SourceMaker, TextsBecomeTheSourcesTheyName) {
    CapturedUI ui;
    TransferDirs dirs;
    SourceMaker* savedMaker = theDLPool.services().sourceMaker;
    theDLPool.services().sourceMaker = &thePeerSourceMaker;
    std::vector<std::unique_ptr<ProtocolInterface>> savedProtocols;
    savedProtocols.swap(theTransferGateway.protocols);
    theTransferGateway.protocols.emplace_back(new HttpProtocol);

    FileMeta record;
    record.setName("named.bin");
    record.setFileSize(1000000);
    uint8_t fileHash[16] = {4, 2};
    record.setFileHash(fileHash);
    Download* d = new Download();
    d->addRef();
    ASSERT_TRUE(d->startNew(&record));

    const std::string userHash = "0123456789abcdef0123456789ABCDEF";
    const char* const refused[] = {"bcp://10.0.0.2", "bcp:xx10.0.0.2:4662", "bcp://10.0.0.2:0",
                                   "ftp://h/f",      "http://h/a b",        "plain words"};
    for (const char* text : refused) d->addSourceLink(text);
    EXPECT_EQ(0, d->getSources()->countNoLock()) << "a source made of a malformed text";

    d->addSourceLink(("bcp://" + userHash + ":10.0.0.1:4661").c_str());
    d->addSourceLink("bcp://10.0.0.2:4662");
    d->addSourceLink("http://127.0.0.1:9/named.bin");
    ASSERT_EQ(3, d->getSources()->countNoLock());

    uint8_t wantHash[16];
    ASSERT_TRUE(UniqueID::fromHex(wantHash, userHash.c_str()));
    int behindServer = 0, direct = 0, web = 0;
    for (FileSourceInterface* s : LLView<FileSourceInterface>(d->getSources())) {
        UserMeta* u = s->getUserMeta();
        if (!u) {
            EXPECT_STREQ("http://127.0.0.1:9/named.bin", s->getUserName());
            ++web;
        } else if (u->serverIp) {
            EXPECT_EQ(0, memcmp(u->hash, wantHash, 16));
            EXPECT_EQ(textToIP("10.0.0.1"), u->serverIp);
            EXPECT_EQ(4661, u->serverPort);
            EXPECT_EQ(0u, u->ip);
            ++behindServer;
        } else {
            EXPECT_EQ(textToIP("10.0.0.2"), u->ip);
            EXPECT_EQ(4662, u->port);
            ++direct;
        }
    }
    EXPECT_EQ(1, behindServer);
    EXPECT_EQ(1, direct);
    EXPECT_EQ(1, web);

    d->shutdown();
    d->release();
    theTransferGateway.protocols.swap(savedProtocols);
    theDLPool.services().sourceMaker = savedMaker;
}

}  // namespace
