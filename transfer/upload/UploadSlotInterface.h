// The core task thread: the console and the remote control read slots there too.
#pragma once

#include <stdint.h>

#include "util/RefCounter.h"

class UserMeta;
class i4_string;

// What the user interfaces read of an upload slot.
class UploadSlotInterface : public RefCounter {
public:
    // Bytes per millisecond; 0 without an upload.
    virtual double rate() = 0;
    // The upload's peer, else the pending peer; false when the slot has neither.
    virtual bool getPeer(UserMeta* out) = 0;
    // The upload's file name, or "".
    virtual const char* fileName(i4_string& out) = 0;
    // The upload's file hash, or null.
    virtual const uint8_t* fileHash() = 0;
    virtual int priority() = 0;
};
