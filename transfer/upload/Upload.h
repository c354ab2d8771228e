// The core task thread: made, driven and ended by its slot, its packets' onSent in the
// socket pool's pass. The lock guards only the connection pointer, for the UI readers.
#pragma once

#include <stdint.h>
#include <vector>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "util/RefCounter.h"

class Peer;
class UploadSlot;
class UserMeta;
class i4_file;

// One file sent to one peer: the up to three ranges it last asked for, cut into data frames
// (70, PeerFrame) whose size follows the measured rate, two packets in flight.
class Upload : public RefCounter {
public:
    enum { MIN_BLOCK = 512, RING = 8, SAMPLE_MS = 2000, HISTORY = 8, HOLD_MS = 3000 };
    // A block never exceeds this, whatever the rate: the receiver caps its frames.
    static constexpr uint32_t MAX_BLOCK = 1u << 20;
    static constexpr int UNSET_PRIORITY = -30001;

    struct Range {
        uint64_t start, end;
        bool operator==(const Range& o) const { return start == o.start && end == o.end; }
    };

    // Takes the open file (null for a partial file before its switch) and a reference on
    // the connection; logs the start.
    Upload(i4_file* file, Peer* connection, const char* name, UploadSlot* slot,
           bool logStart = true);
    // Logs the end, counts what was sent, closes the file, lets the connection go.
    ~Upload() override;

    // A new request. Beyond dropping a repeat of the range just finished, the order is
    // changed so that a range crossing the request in flight is not sent twice: the range
    // under way goes on first, and ranges finished lately go last. Such a range is held
    // back up to HOLD_MS for a newer request, which leaves it out once its data arrived;
    // asked again after that, it is served.
    void setRanges(const uint32_t starts[3], const uint32_t ends[3]);
    bool isHolding() const { return holding; }
    // The ranges finished lately, oldest first; an upload of the same file to the same peer
    // that follows this one takes them over.
    const std::vector<Range>& history() const { return finished; }
    void inherit(const std::vector<Range>& earlier);
    // What the rate samples learnt: a new upload to the same peer takes it over, instead of
    // starting again from the smallest block whenever the peer's request comes a little late.
    struct Rate {
        double ring[RING] = {};  // samples in bytes per millisecond
        int next = 0;
        double average = 0;
        uint32_t blockSize = MIN_BLOCK;
        int sampleTimer = 0;       // ms since the last sample
        uint64_t sampleBytes = 0;  // sent since the last sample
    };
    const Rate& rate() const { return measured; }
    void inheritRate(const Rate& r) { measured = r; }
    // One data packet; false once the upload has ended.
    bool sendNext();
    void tick(int ms);
    int priority();
    // n bytes at the position into buf.
    virtual bool fillBuffer(uint8_t* buf, uint32_t n);
    virtual bool canResume() { return true; }
    // The size of what is served, or 0 when it cannot be known.
    virtual uint64_t fileSize();
    void setPaused(bool pause);
    bool isPaused() const { return paused; }
    bool connectionGone(Peer* connection);
    // The slot let the upload go: it sends nothing more and gives up its hold on the
    // connection now, not when its last queued frame is freed, which may be in the middle of
    // the connection's own destruction.
    void letConnectionGo();

    const char* name() const { return fileName.c_str(); }
    const char* peerName();
    bool getPeer(UserMeta* out);
    bool isPeer(UserMeta* user);
    bool isConnection(Peer* connection);
    // Only for sending on: the UI readers use the calls above.
    Peer* getConnection() { return connection; }
    double averageRate() const { return measured.average; }
    const uint8_t* getFileHash() const { return fileHash; }
    void setFileHash(const uint8_t hash[16]);
    uint64_t getBytesSent() const { return sent; }
    void addSent(int32_t n) {
        uint64_t bytes = (uint64_t)(n > 0 ? n : 0);
        sent += bytes;
        measured.sampleBytes += bytes;
    }
    uint32_t getBlockSize() const { return measured.blockSize; }
    const Range& range(int i) const { return ranges[i]; }
    uint64_t getPosition() const { return position; }

protected:
    // Reads n bytes at at from the open file.
    bool readFile(i4_file* from, uint8_t* buf, uint64_t at, uint32_t n);
    bool isPartnerConnection();

    UploadSlot* slot;
    i4_string fileName;
    i4_file* file;
    uint64_t position;

private:
    void dropPriority();
    bool sentLately(const Range& r) const;
    void shiftFrom(int i);

    int prio;
    i4_mutex lock;
    Range ranges[3];
    Range last;
    std::vector<Range> finished;
    Rate measured;
    int heldMs;
    bool holding;
    bool paused;
    bool gone;
    uint64_t sent;
    Peer* connection;
    uint8_t fileHash[16];
};
