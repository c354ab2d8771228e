// Called by sources on the core task thread while their download is driven
// (under its lock); no lock of its own.
//
// The view of a download that its sources use.
#pragma once

#include <stdint.h>

class DownloadInterface {
public:
    virtual void addSourceLink(const char* text) = 0;
    // Null without a partial file.
    virtual const char* getFileName() = 0;
    virtual uint32_t getFileSize() = 0;
    virtual int crumbCount() = 0;
    // flags: one byte per crumb, not 0 where the source has it.
    virtual void changeWeight(const uint8_t* flags, int delta) = 0;
    virtual void changeCrumbs(const uint8_t* oldFlags, const uint8_t* newFlags, int delta) = 0;
    // Gives crumb's missing ranges back; the crumb count for an index past it.
    virtual int refreshCrumbGaps(int crumb) = 0;
    // The next range for a source with these crumbs, through start and end; 0.
    virtual int nextRange(const uint8_t* flags, uint32_t& start, uint32_t& end) = 0;
    virtual bool randomChunkRange(uint32_t& start, uint32_t& end) = 0;
    // False when the download takes no more for now: it is complete, or the
    // disk refused the bytes (they are asked for again once there is room).
    virtual bool writeData(const uint8_t* data, uint32_t start, uint32_t end) = 0;
    virtual ~DownloadInterface();
};
