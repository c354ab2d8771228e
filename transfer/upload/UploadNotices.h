// Called by partial files on the core task thread and, while a download is
// verifying or completing, on the worker that runs it; an implementation that
// belongs to the core task thread must hand the notice over (post it).
//
// What the download side tells the upload side. Until the upload pool takes
// this over, the bodies do nothing: no upload exists to tell.
#pragma once

#include <stdint.h>

class UploadNotices {
public:
    virtual ~UploadNotices();
    // A crumb of the file passed its check: peers may be told and served.
    virtual void announceCrumb(const uint8_t* fileHash, int crumb);
    // Uploads of the file stop while it completes and go on after.
    virtual void pauseFile(const uint8_t* fileHash, bool paused);
};
