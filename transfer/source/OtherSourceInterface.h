// Called on the core task thread under its download's lock; no lock of its own.
//
// A source of a file's bytes that is not a peer, named by a text (an HTTP address).
#pragma once

#include <stdint.h>

class OtherSourceInterface {
public:
    virtual ~OtherSourceInterface();
    // Bytes per millisecond.
    virtual double rate() = 0;
    // A source status id.
    virtual int displayState();
    virtual void getRanges(uint32_t starts[3], uint32_t ends[3]);
    // Starts an idle source; false when it was not idle.
    virtual bool activate() = 0;
    // Back to idle, giving back what it had asked for.
    virtual void reset() = 0;
    virtual void stop() = 0;
    virtual const char* getSourceName();
    virtual const char* getFileName();
    // False: the download deletes the source.
    virtual bool tick(int elapsedMs);
};
