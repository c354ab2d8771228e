#include "transfer/upload/PartUpload.h"

#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "meta/FileMeta.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/share/TransferGateway.h"

PartUpload::PartUpload(Download* download, Peer* connection, UploadSlot* s)
    : Upload(nullptr, connection, download->getPartialFile()->getName(), s, false),
      partial(download->getPartialFile()),
      switched(false) {
    partial->addRef();
}

PartUpload::~PartUpload() {
    partial->release();
}

bool PartUpload::canResume() {
    int s = partial->getState();
    return s == PartialFile::ACTIVE || s == PartialFile::COMPLETE;
}

uint64_t PartUpload::fileSize() {
    return partial->getSize();
}

bool PartUpload::switchToFinished() {
    // Completion shared the finished file under its hash with the path it moved it to.
    FileMeta* shared = theTransferGateway.sharedList.findByHash(partial->getFileHash());
    const char* path = shared ? shared->getPath() : nullptr;
    i4_file* finished = path && *path ? i4_open(path, I4_READ) : nullptr;
    if (!finished) {
        theUI->debug("Part done but not found\n");
        return false;
    }
    file = finished;
    switched = true;
    return true;
}

bool PartUpload::fillBuffer(uint8_t* buf, uint32_t n) {
    if (switched) return Upload::fillBuffer(buf, n);
    switch (partial->read(buf, (uint32_t)position, (uint32_t)(position + n))) {
    case PartialFile::READ_OK:
        return true;
    case PartialFile::READ_COMPLETING:
        theUI->print("ERROR: fillBuffer while completing\n");
        return false;
    case PartialFile::READ_COMPLETE:
        return switchToFinished() && Upload::fillBuffer(buf, n);
    case PartialFile::READ_CORRUPT:
        theUI->debug("Part File error\n");
        return false;
    case PartialFile::READ_REFUSED:
        theUI->debug("Part not there\n");
        return false;
    default:
        return false;
    }
}
