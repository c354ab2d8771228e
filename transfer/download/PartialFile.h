// Threads: the core task thread writes, reads for uploads, saves and takes
// hashes; a worker verifies a loaded download (verify) and completes a finished
// one (complete) while its download is in a state that neither writes nor
// reads. The partial file's own lock is held by read, write, close, saveInfo
// and each part's verification; the gap list's lock (the GapList base) is
// taken inside it, never the other way round.
//
// A download's data on disk: the data file, the gaps still missing, the file
// record with its part and crumb hashes, which parts and crumbs passed their
// check, and the ".part.met" record that carries the download over a restart.
// This class keeps the whole file in one data file, N.part beside N.part.met
// in the temporary directory; CompPartialFile keeps a file per part.
//
// ".part.met" (little-endian):
//   offset  width  meaning
//   0       1      0xE0 one data file, 0xE1 a file per part
//   1       1      2, the known-file layout version; the rest is that layout:
//   2       4      modification time of the data file (of the temporary
//                  directory for a file per part)
//   6       16     file hash
//   22      ...    u32 tag count, the tags: the file's own, then 8 "part
//                  trans" (low 32 bits of the bytes kept), 18 "tempFileName",
//                  24 "Priority", 20 "state" (1 paused), "%dmod" per part file
//                  (file per part only), then per gap k the int tags named
//                  0x09 k and 0x0A k (k in decimal) with its start and end
//   then           the part and crumb hash sets of the known-file layout
//
// Every whole crumb is checked as soon as its hashes are known. Crumbs that
// complete in order are checked in the same sweep that carries the part's
// digest on, so their bytes are read once; one that completes ahead of an
// earlier missing one is read on its own first and again by the sweep later.
// The part is checked the moment its last crumb is, and a part with no gap
// left has the last word over its crumbs' hashes.
#pragma once

#include <array>
#include <atomic>
#include <stdint.h>
#include <vector>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "meta/FileMeta.h"
#include "meta/MD4.h"
#include "transfer/download/GapList.h"
#include "util/BoolArray.h"
#include "util/RefCounter.h"

class DLProgress;
class FilePart;
class i4_file;
class i4_ram_file_class;
class LL;

class PartialFile : public RefCounter, public GapList {
public:
    enum State { ACTIVE = 0, COMPLETING = 1, COMPLETE = 2, CORRUPT = 3 };
    enum ReadResult {
        READ_OK = 0,
        READ_COMPLETING = 1,
        READ_COMPLETE = 2,
        READ_CORRUPT = 3,
        READ_REFUSED = 4
    };
    enum { VERSION_SINGLE = 0xE0, VERSION_PARTS = 0xE1 };

    PartialFile();
    ~PartialFile() override;
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // The download's crumb map, kept in step with the checks; set before
    // create or load.
    void setProgress(DLProgress* map) { progress = map; }

    virtual void init(FileMeta* record);
    // Marks the parts and crumbs that a restart may trust without hashing.
    virtual void scan();
    virtual void createParts();
    virtual i4_string metPath();
    // Resumes from a ".part.met" record (number: the file-per-part layout's).
    virtual bool load(FileMeta* record, int number);
    virtual bool create(FileMeta* record);
    // The download was cancelled: its files go.
    virtual void deleteFiles();
    // Bytes [start, end) for an upload into buf; one of ReadResult.
    virtual int read(void* buf, uint32_t start, uint32_t end);
    struct WriteResult {
        uint32_t written = 0;     // bytes of the block now on disk and counted
        bool diskFailed = false;  // the disk refused a write: that range stays missing
        bool gapsRemain = true;
    };
    // The next end - start bytes of the packet (from its position, which moves
    // past them) as [start, end).
    WriteResult write(i4_ram_file_class& packet, uint32_t start, uint32_t end);
    // The same from a buffer holding `available` bytes. A block outside the
    // file, empty or longer than the bytes given is refused; only the bytes
    // that fill gaps are written and counted.
    WriteResult writeBlock(const uint8_t* data, uint32_t available, uint32_t start, uint32_t end);
    // Final check, move into the incoming directory and share. False with the
    // state back at ACTIVE when the download must go on (parts reopened) or
    // wait (needsSpace).
    virtual bool complete();
    virtual void close();
    // Writes the ".part.met"; nothing unless ACTIVE. False when it was not saved.
    virtual bool saveInfo(int priority, bool paused);
    // A crumb or part passed its check since the record was last written: the pool writes it
    // soon, so that a client killed then keeps what it verified.
    bool recordBehind() const { return verifiedSinceSave.load(); }
    virtual int assembleProgress() { return assembleProgressValue.load(); }
    // Hash sets from a peer, from the packet's position. origin names the
    // sender (16 bytes, or null): a sender whose crumb hashes were shown wrong
    // is refused, and so is a set shown wrong whoever sends it.
    virtual bool setCrumbHashes(i4_file& packet, const uint8_t* origin);
    virtual bool setPartHashes(i4_file& packet);
    // Checks every part and crumb that became whole; always true. A set stop
    // flag ends the check between two parts.
    virtual bool verify(const std::atomic<bool>* stop = nullptr);
    // The same for part i alone, under the lock; false once the file is no
    // longer active. The crumb map belongs to whoever holds the download's
    // lock: a worker that does not hold it sets holdMap, and what the check
    // found reaches the map through applyMapNotes, under that lock.
    bool verifyPart(int i, bool holdMap = false);
    void applyMapNotes();
    // Where the download's files lie, with a trailing '/'.
    virtual i4_string tempDir();

    void markCorrupt(uint32_t start, uint32_t end);
    // Takes the gap tags 0x09k / 0x0Ak out of the record; appends the gaps when
    // add is set. Answers how many pairs were found.
    int readGaps(FileMeta* record, bool add);
    // Shares the partial file (the first time only), through the queue.
    void registerShared();
    // Withdraws the partial file's shared entry, through the queue.
    void unshare();
    // Hands the shared entry to the shared files again after a rescan.
    void shareEntry();
    // Special tag 19 of the record and of the shared entry: the finished file keeps it.
    void setUploadPriority(int priority);
    bool peerHasNeededCrumb(const BoolArray* peer);
    bool hasCrumbPeerLacks(const BoolArray* peer);

    // After a complete that answered false with the state ACTIVE: whether it
    // stopped for want of disk space (or a place in the incoming directory),
    // so that the download waits instead of downloading.
    bool needsSpace() const { return wantsSpace.load(); }
    // After a whole-file check failed before any part hash was known: the
    // data is kept, unchecked, until the hash sets arrive and tell which
    // parts to fetch again. Nothing finishes it meanwhile.
    bool waitsForHashes() const { return heldForHashes.load(); }

    // Accessors. The record belongs to the holder of the lock; the name, sizes
    // and counts are fixed once the file is created or loaded.
    FileMeta* getMeta() { return &meta; }
    const char* getName() const { return name.c_str(); }
    const uint8_t* getFileHash() { return meta.getFileHash(); }
    uint32_t getSize() const { return size; }
    int crumbCount() const { return crumbTotal; }
    int partCount() const { return partTotal; }
    int getNumber() const { return number; }
    int getState() const { return state.load(); }
    void setState(int s) { state = s; }
    int64_t getTransferred() const { return transferred.load(); }
    bool isCrumbDone(int crumb);
    // Which crumbs (or parts) passed their check, into out.
    void doneBits(bool crumbs, BoolArray& out);
    bool isPartDone(int part);
    bool hasPartHashes();
    bool hasCrumbHashes();
    const i4_string& getTempName() const { return tempName; }
    // Sets a tag of the record under the lock ("Last Seen Complete").
    void setRecordText(const char* tagName, const char* text);

protected:
    struct PartSweep {
        MD4 digest;         // of [part start, frontier)
        uint32_t frontier;  // bytes before it are hashed into digest
    };

    // The file whose modification time the record carries.
    virtual i4_string recordTimePath();
    // Whether a restart may trust part i's file as it is now.
    bool mayTrustPart(int i);
    // Checks what became whole in part i; true when a crumb or the part passed.
    bool verifyPartLocked(int i);
    // Crumb crumb of part p: its bytes fed to part, and whether its own hash
    // failed (with the digest's value); false when its bytes cannot be read.
    bool checkCrumb(FilePart* p, int crumb, MD4& part, bool& failed, uint64_t& value);
    // Whole crumbs of part i behind the sweep's frontier, checked alone.
    bool checkCrumbsAhead(int i);
    void setPartDone(int i);
    void partFailed(int i);
    // Part i is missing again as a whole: a gap, its crumbs unchecked.
    void markPartMissing(int i);
    void crumbFailed(int crumb, uint64_t value);
    // The crumb passed (or must be fetched again): the crumb map is told, now
    // or through applyMapNotes.
    void tellMap(int crumb, bool passed);
    // The crumb is missing again; its digest is remembered.
    void discardCrumb(int crumb, uint64_t value);
    void crumbPassed(int crumb);
    void resetSweep(int i);
    // The crumb hashes were shown wrong: dropped, and refused from now on
    // (that set, and its sender).
    void dropCrumbHashes();
    typedef std::array<uint8_t, 16> SetKey;
    static SetKey keyOf(const uint8_t* origin);
    // The digest of the crumb hashes held.
    SetKey setDigest();
    bool crumbCheckable();
    // Whether the digest of part i's bytes is what the record expects.
    bool partMatches(int i, const uint8_t digest[16]);
    // Whole-file check of the pieces' digests (completion rule, in order),
    // accepting the record rule too for a size that is a multiple of a part.
    bool fileMatches(LL& digests);
    // Moves the checked file into the incoming directory and shares it from
    // there; false, with the state back at ACTIVE and needsSpace set, when it
    // cannot be moved.
    bool moveFinished(const char* from);
    // Hash sets from the packet into scratch, sized as this file.
    bool readHashSets(i4_file& packet, bool partsOnly, FileMeta& scratch);
    void takePartHashes(FileMeta& scratch);
    // Opens path as the data file of every part; prints and fails when it is
    // missing or cannot be opened.
    bool openDataFile(const char* path, bool truncate);
    void closeLocked();
    // Deletes the ".part.met" and its ".bak".
    void deleteRecord();
    // The record's pieces for the saved gaps.
    static void addGapTags(FileMeta& record, const std::vector<Gap>& gaps);

    i4_mutex lock;
    FileMeta meta;
    i4_string name;
    std::vector<FilePart*> parts;
    std::vector<PartSweep> sweeps;
    std::vector<uint64_t> failedValue;  // per crumb: its digest at its last failed check
    std::vector<uint8_t> failedBefore;
    SetKey setOrigin{};  // the sender of the crumb hashes held, zero when unknown
    std::vector<SetKey> refusedOrigins;
    std::vector<SetKey> refusedSets;
    bool mapHeld = false;
    std::vector<int> mapNotes;  // crumb c passed: c; fetched again: -c - 1
    i4_string tempName;
    i4_file* dataFile;
    FileMeta* sharedEntry;
    DLProgress* progress;
    BoolArray crumbsDone;
    BoolArray partsDone;
    uint32_t size;
    int crumbTotal;
    int partTotal;
    int number;
    uint8_t version;
    bool hashesKnown;
    std::atomic<int> state;
    std::atomic<int64_t> transferred;
    std::atomic<int> assembleProgressValue;
    std::atomic<bool> wantsSpace;
    std::atomic<bool> verifiedSinceSave{false};
    std::atomic<bool> heldForHashes{false};
};
