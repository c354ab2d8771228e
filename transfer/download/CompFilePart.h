// Used as FilePart is: under its partial file's lock, or by the completing
// worker alone.
//
// One part of a download kept in a file of its own, dir/N.i.part: byte x of
// the download is byte x - start of that file.
#pragma once

#include "transfer/download/FilePart.h"

class CompFilePart : public FilePart {
public:
    // stale unless the part's file exists with the modification time the
    // record stored for it (storedTime < 0: none stored).
    CompFilePart(const char* name, uint32_t start, uint32_t end, int64_t storedTime);
    ~CompFilePart() override;

    bool makeTempFile() override;
    void remove() override;
    // "%dmod" with the file's modification time, when the file exists and that
    // time is old enough to change with any later write.
    void saveTag(Meta* record, int index) override;
    bool close() override;

    static const char* TIME_TAG_FORMAT;
};
