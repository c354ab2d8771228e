#include "app/selftest/TransferTest.h"

#include <cstdint>

#include "core/UIGateway.h"
#include "meta/FileMeta.h"
#include "transfer/DLPool.h"
#include "transfer/Download.h"
#include "util/UniqueID.h"

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
    if (held) download->unlock();
    download->release();
    return ok;
}
