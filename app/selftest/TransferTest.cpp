#include "app/selftest/TransferTest.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/CoreOptions.h"
#include "core/UIGateway.h"
#include "meta/FileMeta.h"
#include "meta/UserMeta.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/share/TransferOptions.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/FileSourceState.h"
#include "util/UniqueID.h"

namespace {

const int kRounds = 6;
const int kTicksPerRound = 4;
const int kLongTickMs = 12000000;

// A loopback port that nothing listens on: the connect fails at once and never leaves the
// machine. 0 when none could be found.
uint16_t closedLoopbackPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return 0;
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    uint16_t port = 0;
    if (bind(s, (sockaddr*)&a, sizeof a) == 0 && getsockname(s, (sockaddr*)&a, &n) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

// The client as the connection pool knows itself.
void ownUser(UserMeta& user) {
    user.copy(theCoreOptions.getOwnUser());
    user.ip = theCoreOptions.getClientId();
    user.port = (uint16_t)theTransferOptions.getDoorPort();
    user.serverIp = theCoreOptions.getServerIp();
}

// A source of the client itself is refused at its first connect.
bool ownSourceIsBad(Download* download) {
    theUI->printLine("\ttest1");
    UserMeta self;
    ownUser(self);
    FileSource source(&self, download, nullptr);
    if (source.getStatus() != FileSourceState::UNASKED) return false;
    source.tryConnect();
    if (source.getStatus() != FileSourceState::BAD_SOURCE) return false;
    return !source.tick(10);
}

// A peer that never answers is given up after its retries.
bool deadSourceIsGivenUp(Download* download) {
    theUI->printLine("\ttest2");
    uint16_t port = closedLoopbackPort();
    if (port == 0) return false;
    UserMeta dead;
    dead.ip = 0x0100007F;  // 127.0.0.1 as the wire carries it
    dead.port = port;
    FileSource source(&dead, download, nullptr);
    for (int round = 0; round < kRounds; round++) {
        if (source.getStatus() != FileSourceState::UNASKED) return false;
        source.tryConnect();
        if (source.getStatus() != FileSourceState::WAIT_CONNECTION) return false;
        source.connectFailed(dead.ip, dead.port);
        if (source.getStatus() != FileSourceState::GONE) return false;
        source.tryConnect();
        if (source.getStatus() != FileSourceState::GONE) return false;
        for (int i = 0; i < kTicksPerRound; i++) source.tick(kLongTickMs);
    }
    if (source.getStatus() != FileSourceState::BAD_SOURCE) return false;
    return !source.tick(10);
}

}  // namespace

bool TransferTest::run() {
    theUI->printLine(" TransferTest test:");
    return testFileSource();
}

bool TransferTest::testFileSource() {
    theUI->printLine(" TransferTest::testFileSource()");
    uint8_t hash[UniqueID::SIZE];
    UniqueID::randomize(hash);
    FileMeta record;
    record.setName("test.file");
    record.setFileSize(100);
    record.setFileHash(hash);
    theDLPool.startDownload(&record);
    Download* download = theDLPool.findByHash(hash);
    if (!download) return false;
    bool held = download->tryLock();
    bool ok = held && !download->tryLock();
    // The sources run under their download's lock, as the download runs them.
    if (ok) ok = ownSourceIsBad(download) && deadSourceIsGivenUp(download);
    if (held) download->unlock();
    download->release();
    return ok;
}
