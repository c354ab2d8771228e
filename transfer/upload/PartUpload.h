// The core task thread, like every upload.
#pragma once

#include "transfer/upload/Upload.h"

class Download;
class PartialFile;

// An upload of a file still being downloaded: it reads the verified bytes through the
// partial file and, once the download has completed, the finished file that completion
// shared, found by its hash: never a path made from the name a peer gave the file.
class PartUpload : public Upload {
public:
    // Takes a reference on the download's partial file and on the connection.
    PartUpload(Download* download, Peer* connection, UploadSlot* slot);
    ~PartUpload() override;

    bool fillBuffer(uint8_t* buf, uint32_t n) override;
    // While the partial file is active or complete.
    bool canResume() override;
    uint64_t fileSize() override;
    bool isSwitched() const { return switched; }

private:
    bool switchToFinished();

    PartialFile* partial;
    bool switched;
};
