// Built by any thread, then owned by one connection and moved only on the core task thread.
#pragma once

#include <cstdint>

#include "i4min/file/i4_ram_file_class.h"

// What a packet step answers.
enum {
    PACKET_NOT_DONE = 0,  // nothing or part moved: try again in a later pass
    PACKET_COMPLETE = 1,
    PACKET_ERROR = 2  // the connection is to be dropped
};

// A byte buffer moved to or from a stream a little at a time, within the pool's budgets.
// Writers fill it through file(); the packet owns the buffer.
class Packet {
public:
    Packet();
    virtual ~Packet();
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;

    virtual Packet* clone() const;
    // Steps: *count gets the bytes moved by this step.
    virtual int readFrom(i4_file* stream, int32_t* count);
    virtual int writeTo(i4_file* stream, int32_t* count);
    virtual void onSent();

    int32_t getSize() const { return size; }
    i4_ram_file_class& file() { return ram; }
    // The getSize() bytes as they go out: any the writer left unwritten are zeros.
    const uint8_t* bytes() const;

    enum { GROW_STEP = 1024 };

protected:
    // Frees the buffer and puts a new, empty one with room for n bytes (none
    // for 0) in its place.
    void replaceBuffer(int32_t n, int32_t grow);

    int32_t size;
    // Mutable: bytes() zeroes what the writer skipped, which no reader sees
    // as a change.
    mutable i4_ram_file_class ram;
};
