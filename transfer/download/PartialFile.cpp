#include "transfer/download/PartialFile.h"

#include <algorithm>
#include <memory>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include "core/MessageQ.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileHashState.h"
#include "meta/FileParts.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/FilePart.h"
#include "transfer/download/TempFiles.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"
#include "transfer/upload/UploadNotices.h"
#include "util/LL.h"
#include "util/LLView.h"

namespace {

const uint32_t PART_KIB = (uint32_t)(FileParts::PART_SIZE / 1024);

bool exists(const char* path) {
    i4_file_status st;
    return i4_get_status(path, st) != 0;
}

uint32_t modTimeOf(const char* path) {
    i4_file_status st;
    return i4_get_status(path, st) ? (uint32_t)st.modified : 0;
}

// The name of a gap tag: the special id's byte, then k in decimal.
i4_string gapTagName(uint8_t id, int k) {
    i4_string n;
    n.format("%c%d", id, k);
    return n;
}

// k when name is the id byte followed by k in canonical decimal, else -1.
int gapTagIndex(const char* name, uint8_t id) {
    if (!name || (uint8_t)name[0] != id || !name[1]) return -1;
    if (name[1] == '0' && name[2]) return -1;
    long k = 0;
    for (const char* p = name + 1; *p; p++) {
        if (*p < '0' || *p > '9' || k > 1000000) return -1;
        k = k * 10 + (*p - '0');
    }
    return (int)k;
}

void freeDigests(LL& digests) {
    while (void* d = digests.removeAt(0)) i4_free(d);
}

}  // namespace

PartialFile::PartialFile()
    : tempName(""),
      dataFile(nullptr),
      sharedEntry(nullptr),
      progress(nullptr),
      size(0),
      crumbTotal(0),
      partTotal(0),
      number(0),
      version(VERSION_SINGLE),
      hashesKnown(false),
      state(ACTIVE),
      transferred(0),
      assembleProgressValue(0),
      wantsSpace(false) {}

PartialFile::~PartialFile() {
    for (FilePart* p : parts) {
        p->close();
        delete p;
    }
    delete dataFile;
    delete sharedEntry;
}

void PartialFile::init(FileMeta* record) {
    meta.copyFrom(record);
    name = meta.getName();
    size = meta.getFileSize();
    FileParts fp(size);
    partTotal = (int)fp.partCount();
    crumbTotal = (int)fp.crumbCount();
    i4_string path;
    path.format("%s/%s", theTransferOptions.getTemp().c_str(), tempName.c_str());
    meta.setPath(path.c_str());
    crumbsDone.resize((uint32_t)crumbTotal);
    crumbsDone.fill(0);
    partsDone.resize((uint32_t)partTotal);
    partsDone.fill(0);
    failedValue.assign((size_t)crumbTotal, 0);
    failedBefore.assign((size_t)crumbTotal, 0);
    hashesKnown = meta.hasPartHashes();
    sweeps.assign((size_t)partTotal, PartSweep());
    for (int i = 0; i < partTotal; i++) resetSweep(i);
    createParts();
    if (progress) progress->init(this);
    scan();
}

void PartialFile::resetSweep(int i) {
    sweeps[(size_t)i].digest.init();
    sweeps[(size_t)i].frontier = (uint32_t)FileParts(size).partStart((uint64_t)i);
}

void PartialFile::createParts() {
    FileParts fp(size);
    i4_string temp = theTransferOptions.getTemp();
    for (int i = 0; i < partTotal; i++) {
        i4_string partName;
        partName.format("%s/%d.%d.part", temp.c_str(), number, i + 1);
        // This layout keeps no file per part: a file of that name is not ours
        // to trust, so every part is hashed before it counts.
        parts.push_back(new FilePart(partName.c_str(), (uint32_t)fp.partStart((uint64_t)i),
                                     (uint32_t)fp.partEnd((uint64_t)i), 0, true));
    }
}

void PartialFile::scan() {
    if (!hashesKnown) return;
    bool marked = false;
    FileParts fp(size);
    for (int i = 0; i < partTotal; i++) {
        FilePart* p = parts[(size_t)i];
        if (!p || p->stale) continue;
        if (!overlaps(p->start, p->end)) {
            setPartDone(i);
            marked = true;
            continue;
        }
        uint64_t first = FileParts::firstCrumbOfPart((uint64_t)i);
        for (uint64_t c = first; c < (uint64_t)crumbTotal && fp.crumbStart(c) < p->end; c++) {
            if (overlaps((uint32_t)fp.crumbStart(c), (uint32_t)fp.crumbEnd(c))) continue;
            crumbsDone.set((uint32_t)c, 1);
            marked = true;
        }
    }
    if (marked) registerShared();
}

i4_string PartialFile::metPath() {
    i4_string p;
    p.format("%s/%s.met", theTransferOptions.getTemp().c_str(), tempName.c_str());
    return p;
}

i4_string PartialFile::tempDir() {
    i4_string d = theTransferOptions.getTemp();
    d.append("/");
    return d;
}

i4_string PartialFile::recordTimePath() {
    return i4_string(meta.getPath());
}

bool PartialFile::create(FileMeta* record) {
    number = (int)theTempFiles.newName(tempName, ".part");
    if (!number) return false;
    size = record->getFileSize();
    lockedAppend(Gap{0, size});
    init(record);
    return openDataFile(meta.getPath(), true);
}

bool PartialFile::openDataFile(const char* path, bool truncate) {
    if (!truncate && !exists(path)) {
        theUI->printLine("%s %s", path,
                         theXMLStringTable.localized("notFound", "not found.").c_str());
        return false;
    }
    i4_file* f = i4_open(path, I4_READ | I4_WRITE | (truncate ? I4_TRUNCATE : 0));
    if (!f) {
        theUI->printLine("%s %s", path,
                         theXMLStringTable.localized("couldntOpen", "Couldn't be opened.").c_str());
        return false;
    }
    i4_lock hold(&lock);
    delete dataFile;
    dataFile = f;
    for (FilePart* p : parts) p->file = f;
    return true;
}

int PartialFile::readGaps(FileMeta* record, bool add) {
    // One walk over the tags: a record may hold tens of thousands of them.
    std::vector<int64_t> starts, ends;
    LL* tags = record->getTags();
    for (MetaTag* t : LLView<MetaTag>(tags)) {
        if (t->getType() != MetaTag::INT) continue;
        const char* n = t->getStoredName();
        for (int which = 0; which < 2; which++) {
            int k = gapTagIndex(n, which ? SpecialTagInfo::GAP_END : SpecialTagInfo::GAP_START);
            if (k < 0) continue;
            std::vector<int64_t>& v = which ? ends : starts;
            if ((size_t)k >= v.size()) v.resize((size_t)k + 1, -1);
            if (v[(size_t)k] < 0) v[(size_t)k] = (uint32_t) * (const int32_t*)t->getValue();
        }
    }
    int pairs = 0;
    std::vector<Gap> read;
    while ((size_t)pairs < starts.size() && (size_t)pairs < ends.size() &&
           starts[(size_t)pairs] >= 0 && ends[(size_t)pairs] >= 0) {
        read.push_back(Gap{(uint32_t)starts[(size_t)pairs], (uint32_t)ends[(size_t)pairs]});
        pairs++;
    }
    // Take the pairs read (and only those) out of the record.
    std::vector<MetaTag*> keep;
    for (MetaTag* t : LLView<MetaTag>(tags)) {
        const char* n = t->getStoredName();
        int ks = t->getType() == MetaTag::INT ? gapTagIndex(n, SpecialTagInfo::GAP_START) : -1;
        int ke = t->getType() == MetaTag::INT ? gapTagIndex(n, SpecialTagInfo::GAP_END) : -1;
        if ((ks >= 0 && ks < pairs) || (ke >= 0 && ke < pairs))
            delete t;
        else
            keep.push_back(t);
    }
    tags->clear();
    for (MetaTag* t : keep) tags->append(t);
    if (!add) return pairs;

    // Stored gaps are trusted only as far as they describe this file: cut to
    // its size, and where they overlap, merged, so nothing is counted twice.
    uint32_t fileSize = record->getFileSize();
    std::vector<Gap> kept;
    for (Gap g : read) {
        if (g.end > fileSize) g.end = fileSize;
        if (g.start < g.end) kept.push_back(g);
    }
    std::vector<Gap> sorted = kept;
    std::sort(sorted.begin(), sorted.end(),
              [](const Gap& a, const Gap& b) { return a.start < b.start; });
    bool overlap = false;
    for (size_t i = 1; i < sorted.size(); i++)
        if (sorted[i].start < sorted[i - 1].end) overlap = true;
    if (overlap) {
        kept.clear();
        for (const Gap& g : sorted) {
            if (!kept.empty() && g.start <= kept.back().end)
                kept.back().end = std::max(kept.back().end, g.end);
            else
                kept.push_back(g);
        }
    }
    for (const Gap& g : kept) lockedAppend(g);
    return pairs;
}

bool PartialFile::load(FileMeta* record, int) {
    readGaps(record, true);
    // Only a text tag is a name, whatever the record file holds.
    MetaTag* stored = record->findTag(SpecialTagInfo::get(SpecialTagInfo::TEMP_FILE_NAME)->tagName);
    bool text = stored && stored->getType() == MetaTag::STRING && stored->getValue();
    tempName = text ? (const char*)stored->getValue() : record->getName();
    record->removeSpecialTag(SpecialTagInfo::TEMP_FILE_NAME);
    number = atoi(tempName.c_str());
    if (number < 0) number = 0;
    init(record);
    transferred = (int64_t)(uint32_t)meta.getSpecialInt(SpecialTagInfo::PART_TRANS);
    meta.removeSpecialTag(SpecialTagInfo::PART_TRANS);
    // The data file sits beside its record; a name with a separator would
    // reach outside the temporary directory.
    if (!i4_is_safe_name(tempName.c_str())) {
        theUI->printLine("%s %s", tempName.c_str(),
                         theXMLStringTable.localized("notFound", "not found.").c_str());
        return false;
    }
    return openDataFile(meta.getPath(), false);
}

void PartialFile::deleteRecord() {
    i4_string record = metPath();
    i4_unlink(record.c_str());
    record.append(".bak");
    i4_unlink(record.c_str());
}

void PartialFile::deleteFiles() {
    state = CORRUPT;
    close();
    i4_unlink(meta.getPath());
    deleteRecord();
    unshare();
}

void PartialFile::unshare() {
    // The shared list belongs to the core task thread: it learns through the queue.
    if (sharedEntry) theMessageQ.post(MSG_UNSHARE_FILE, std::make_unique<FileMeta>(*sharedEntry));
}

bool PartialFile::isCrumbDone(int crumb) {
    i4_lock hold(&lock);
    return crumb >= 0 && crumb < crumbTotal && crumbsDone.get((uint32_t)crumb);
}

void PartialFile::doneBits(bool crumbs, BoolArray& out) {
    i4_lock hold(&lock);
    out.assign(crumbs ? &crumbsDone : &partsDone);
}

bool PartialFile::isPartDone(int part) {
    i4_lock hold(&lock);
    return part >= 0 && part < partTotal && partsDone.get((uint32_t)part);
}

bool PartialFile::hasPartHashes() {
    i4_lock hold(&lock);
    return meta.hasPartHashes();
}

bool PartialFile::hasCrumbHashes() {
    i4_lock hold(&lock);
    return meta.hasCrumbHashes();
}

void PartialFile::setRecordText(const char* tagName, const char* text) {
    i4_lock hold(&lock);
    meta.setTag(tagName, text, MetaTag::STRING);
}

void PartialFile::setUploadPriority(int priority) {
    int32_t p = priority;
    i4_lock hold(&lock);
    meta.setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &p);
    if (sharedEntry) sharedEntry->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &p);
}

int PartialFile::read(void* buf, uint32_t start, uint32_t end) {
    if (start >= end) return READ_REFUSED;
    i4_lock hold(&lock);
    int s = state.load();
    if (s == COMPLETE) return READ_COMPLETE;
    if (s == CORRUPT) return READ_CORRUPT;
    if (s == COMPLETING) return READ_COMPLETING;
    if (end > size || overlaps(start, end)) return READ_REFUSED;
    uint8_t* out = (uint8_t*)buf;
    for (uint32_t at = start; at < end;) {
        uint64_t i = FileParts::partOf(at);
        if (i >= parts.size()) return READ_REFUSED;
        FilePart* p = parts[(size_t)i];
        uint32_t stop = end < p->end ? end : p->end;
        if (!p->read(out + (at - start), at, stop - at)) return READ_REFUSED;
        at = stop;
    }
    return READ_OK;
}

PartialFile::WriteResult PartialFile::write(i4_ram_file_class& packet, uint32_t start,
                                            uint32_t end) {
    int64_t at = packet.tell();
    int64_t left = packet.size() - at;
    const uint8_t* data = (const uint8_t*)packet.memory_at(at);
    if (!data || left < 0) return writeBlock(nullptr, 0, start, end);
    WriteResult r = writeBlock(data, left > 0xFFFFFFFF ? 0xFFFFFFFF : (uint32_t)left, start, end);
    if (start < end && (uint64_t)left >= (uint64_t)end - start) packet.seek(at + (end - start));
    return r;
}

PartialFile::WriteResult PartialFile::writeBlock(const uint8_t* data, uint32_t available,
                                                 uint32_t start, uint32_t end) {
    WriteResult r;
    // A refused block changes nothing; the answer still says gaps remain.
    if (!data || start >= end || end > size || available < end - start) return r;
    i4_lock hold(&lock);
    if (state.load() != ACTIVE) return r;
    // Only what is still missing is written: a verified crumb is never
    // overwritten, and bytes received twice are counted once.
    std::vector<Gap> missing;
    gapsIn(start, end, missing);
    std::vector<int> touched;
    for (const Gap& m : missing) {
        for (uint32_t at = m.start; at < m.end && !r.diskFailed;) {
            uint64_t i = FileParts::partOf(at);
            uint32_t stop = m.end;
            FilePart* p = i < parts.size() ? parts[(size_t)i] : nullptr;
            if (!p) {
                theUI->debug("NULL parts: %d\n", (int)i);
                break;
            }
            if (stop > p->end) stop = p->end;
            // A range the disk did not take stays missing; so does the rest of
            // the block, which a full disk would refuse as well.
            if (!p->write(data + (at - start), at, stop - at)) {
                r.diskFailed = true;
                break;
            }
            fill(at, stop);
            transferred += stop - at;
            r.written += stop - at;
            if (touched.empty() || touched.back() != (int)i) touched.push_back((int)i);
            at = stop;
        }
    }
    bool passed = false;
    for (int i : touched) passed |= verifyPartLocked(i);
    if (passed) registerShared();
    r.gapsRemain = !isEmpty();
    return r;
}

bool PartialFile::crumbCheckable() {
    return crumbTotal >= 2 && meta.hasCrumbHashes();
}

bool PartialFile::verify(const std::atomic<bool>* stop) {
    for (int i = 0; i < partTotal && !(stop && stop->load()); i++)
        if (!verifyPart(i)) break;
    return true;
}

bool PartialFile::verifyPart(int i, bool holdMap) {
    i4_lock hold(&lock);
    if (state.load() != ACTIVE) return false;
    mapHeld = holdMap;
    if (i >= 0 && i < partTotal && verifyPartLocked(i)) registerShared();
    mapHeld = false;
    return true;
}

void PartialFile::tellMap(int crumb, bool passed) {
    if (!progress) return;
    if (mapHeld)
        mapNotes.push_back(passed ? crumb : -crumb - 1);
    else if (passed)
        progress->gotCrumb(crumb);
    else
        progress->resetCrumb(crumb);
}

void PartialFile::applyMapNotes() {
    std::vector<int> notes;
    {
        i4_lock hold(&lock);
        notes.swap(mapNotes);
    }
    for (int n : notes) {
        if (n >= 0)
            progress->gotCrumb(n);
        else
            progress->resetCrumb(-n - 1);
    }
}

bool PartialFile::checkCrumb(FilePart* p, int crumb, MD4& part, bool& failed, uint64_t& value) {
    FileParts fp(size);
    uint32_t from = (uint32_t)fp.crumbStart((uint64_t)crumb);
    uint32_t to = (uint32_t)fp.crumbEnd((uint64_t)crumb);
    bool check = crumbCheckable() && !crumbsDone.get((uint32_t)crumb);
    MD4 digest;
    if (!p->feed(from, to, part, check ? &digest : nullptr)) {
        theUI->print("Error validating crumb: %s (%d-%d)\n", name.c_str(), (int)from, (int)to);
        return false;
    }
    failed = false;
    if (!check) return true;
    uint8_t d[16];
    digest.final(d);
    value = FileMeta::crumbValue(d);
    failed = value != meta.getCrumbHash(crumb);
    return true;
}

bool PartialFile::verifyPartLocked(int i) {
    if (!hashesKnown || partsDone.get((uint32_t)i) || !parts[(size_t)i]) return false;
    FilePart* p = parts[(size_t)i];
    PartSweep& sweep = sweeps[(size_t)i];
    FileParts fp(size);
    // With no gap left in the part its own hash has the last word: a crumb
    // failing in it is held until then, and dropped only when the part fails.
    bool whole = !overlaps(p->start, p->end);
    bool passed = false;
    std::vector<std::pair<int, uint64_t>> held;
    MD4 beforeHeld;
    uint32_t heldFrom = 0;
    while (sweep.frontier < p->end) {
        int c = (int)FileParts::crumbOf(sweep.frontier);
        uint32_t crumbEnd = (uint32_t)fp.crumbEnd((uint64_t)c);
        if (overlaps(sweep.frontier, crumbEnd)) break;
        MD4 before = sweep.digest;
        bool failed = false;
        uint64_t value = 0;
        if (!checkCrumb(p, c, sweep.digest, failed, value)) {
            sweep.digest = before;
            break;
        }
        if (failed && whole) {
            if (held.empty()) {
                beforeHeld = before;
                heldFrom = sweep.frontier;
            }
            held.push_back({c, value});
        } else if (failed) {
            sweep.digest = before;
            crumbFailed(c, value);
            // A dropped set leaves the crumb to the part's own check.
            if (crumbCheckable()) break;
            continue;
        } else if (crumbCheckable() && !crumbsDone.get((uint32_t)c)) {
            crumbPassed(c);
            passed = true;
        }
        sweep.frontier = crumbEnd;
    }
    if (sweep.frontier < p->end) return checkCrumbsAhead(i) || passed;
    MD4 all = sweep.digest;
    uint8_t digest[16];
    all.final(digest);
    if (partMatches(i, digest)) {
        // The bytes are right, so the crumb hashes that failed them are not.
        if (!held.empty()) dropCrumbHashes();
        setPartDone(i);
        return true;
    }
    if (held.empty()) {
        partFailed(i);
        return passed;
    }
    // Both hashes say these crumbs are bad: only they are fetched again.
    for (const auto& h : held) discardCrumb(h.first, h.second);
    sweep.digest = beforeHeld;
    sweep.frontier = heldFrom;
    return passed;
}

bool PartialFile::checkCrumbsAhead(int i) {
    FilePart* p = parts[(size_t)i];
    FileParts fp(size);
    bool passed = false;
    uint64_t first = FileParts::crumbOf(sweeps[(size_t)i].frontier);
    for (uint64_t c = first; c < (uint64_t)crumbTotal && fp.crumbStart(c) < p->end; c++) {
        if (!crumbCheckable()) break;
        if (crumbsDone.get((uint32_t)c) ||
            overlaps((uint32_t)fp.crumbStart(c), (uint32_t)fp.crumbEnd(c)))
            continue;
        MD4 unused;
        bool failed = false;
        uint64_t value = 0;
        if (!checkCrumb(p, (int)c, unused, failed, value)) continue;
        if (failed) {
            crumbFailed((int)c, value);
        } else {
            crumbPassed((int)c);
            passed = true;
        }
    }
    return passed;
}

bool PartialFile::partMatches(int i, const uint8_t digest[16]) {
    const uint8_t* expected = meta.getPartHash(i);
    if (expected && memcmp(expected, digest, 16) == 0) return true;
    // A one-part file of exactly a part's size: the other rule hashes the
    // part's digest followed by that of the empty piece.
    if (partTotal == 1 && size == FileParts::PART_SIZE) {
        uint8_t pieces[32], other[16];
        memcpy(pieces, digest, 16);
        MD4::digest("", 0, pieces + 16);
        MD4::digest(pieces, 32, other);
        return memcmp(other, meta.getFileHash(), 16) == 0;
    }
    return false;
}

void PartialFile::crumbPassed(int crumb) {
    crumbsDone.set((uint32_t)crumb, 1);
    verifiedSinceSave = true;
    failedBefore[(size_t)crumb] = 0;
    theDLPool.services().uploadNotices->announceCrumb(meta.getFileHash(), crumb);
    tellMap(crumb, true);
}

void PartialFile::crumbFailed(int crumb, uint64_t value) {
    // The same bytes failing twice came whole from the network twice: the
    // crumb hashes, not the data, are wrong. The part's check decides instead.
    if (failedBefore[(size_t)crumb] && failedValue[(size_t)crumb] == value) {
        dropCrumbHashes();
        return;
    }
    discardCrumb(crumb, value);
}

void PartialFile::discardCrumb(int crumb, uint64_t value) {
    failedBefore[(size_t)crumb] = 1;
    failedValue[(size_t)crumb] = value;
    FileParts fp(size);
    markCorrupt((uint32_t)fp.crumbStart((uint64_t)crumb), (uint32_t)fp.crumbEnd((uint64_t)crumb));
    tellMap(crumb, false);
}

void PartialFile::dropCrumbHashes() {
    theUI->debug("Crumb hashes of %s dropped: they disagree with the data\n", name.c_str());
    // Neither that set nor its sender is believed again. The failure record
    // stays: bytes that failed once are not thrown away again by the next set.
    refusedSets.push_back(setDigest());
    if (setOrigin != SetKey()) refusedOrigins.push_back(setOrigin);
    setOrigin = SetKey();
    meta.setCrumbHashes(nullptr, 0);
}

PartialFile::SetKey PartialFile::setDigest() {
    SetKey key;
    std::vector<uint8_t> bytes((size_t)crumbTotal * 8);
    for (int c = 0; c < crumbTotal; c++) {
        uint64_t v = meta.getCrumbHash(c);
        for (int b = 0; b < 8; b++) bytes[(size_t)c * 8 + b] = (uint8_t)(v >> (8 * b));
    }
    MD4::digest(bytes.data(), bytes.size(), key.data());
    return key;
}

void PartialFile::setPartDone(int i) {
    partsDone.set((uint32_t)i, 1);
    FileParts::Range crumbs = FileParts(size).crumbsOfPart((uint64_t)i);
    for (uint64_t c = crumbs.first; c < crumbs.end; c++)
        if (!crumbsDone.get((uint32_t)c)) crumbPassed((int)c);
}

void PartialFile::partFailed(int i) {
    FileParts::Range crumbs = FileParts(size).crumbsOfPart((uint64_t)i);
    // Every crumb passed its own check and the part still failed: the crumb
    // hashes vouched for wrong bytes, so they are not trusted again.
    bool allPassed = crumbCheckable();
    for (uint64_t c = crumbs.first; c < crumbs.end && allPassed; c++)
        if (!crumbsDone.get((uint32_t)c)) allPassed = false;
    if (allPassed) dropCrumbHashes();
    markPartMissing(i);
}

void PartialFile::markPartMissing(int i) {
    FileParts fp(size);
    FileParts::Range crumbs = fp.crumbsOfPart((uint64_t)i);
    partsDone.set((uint32_t)i, 0);
    for (uint64_t c = crumbs.first; c < crumbs.end; c++) crumbsDone.set((uint32_t)c, 0);
    markCorrupt((uint32_t)fp.partStart((uint64_t)i), (uint32_t)fp.partEnd((uint64_t)i));
    for (uint64_t c = crumbs.first; c < crumbs.end; c++) tellMap((int)c, false);
    resetSweep(i);
}

void PartialFile::markCorrupt(uint32_t start, uint32_t end) {
    if (start >= end) return;
    int64_t was = transferred.load();
    int64_t now = was - ((int64_t)end - start);
    transferred = now < 0 ? 0 : now;
    theUI->printLine("%s %s %s %u-%u", theXMLStringTable.get(38), name.c_str(),
                     theXMLStringTable.get(39), start, end);
    addGap(start, end);
}

void PartialFile::registerShared() {
    if (sharedEntry) return;
    sharedEntry = new FileMeta(meta);
    sharedEntry->setPath("");
    theMessageQ.post(MSG_SHARE_FILE, std::make_unique<FileMeta>(*sharedEntry));
    theMessageQ.post(MSG_PUBLISH);
}

void PartialFile::shareEntry() {
    i4_lock hold(&lock);
    if (sharedEntry) theMessageQ.post(MSG_SHARE_FILE, std::make_unique<FileMeta>(*sharedEntry));
}

bool PartialFile::peerHasNeededCrumb(const BoolArray* peer) {
    i4_lock hold(&lock);
    if (!peer || peer->size() != crumbsDone.size()) return false;
    for (uint32_t c = 0; c < peer->size(); c++)
        if (!crumbsDone.get(c) && peer->get(c)) return true;
    return false;
}

bool PartialFile::hasCrumbPeerLacks(const BoolArray* peer) {
    i4_lock hold(&lock);
    if (!peer || peer->size() != crumbsDone.size()) return false;
    for (uint32_t c = 0; c < peer->size(); c++)
        if (crumbsDone.get(c) && !peer->get(c)) return true;
    return false;
}

bool PartialFile::readHashSets(i4_file& packet, bool partsOnly, FileMeta& scratch) {
    scratch.setFileSize(size);
    scratch.setFileHash(meta.getFileHash());
    try {
        return partsOnly ? scratch.readPartHashesChecked(packet) : scratch.readHashSets(packet);
    } catch (const i4_err&) {
        return false;
    }
}

void PartialFile::takePartHashes(FileMeta& scratch) {
    if (partTotal < 2 || meta.hasPartHashes()) return;
    std::vector<uint8_t> hashes((size_t)partTotal * 16);
    for (int i = 0; i < partTotal; i++) memcpy(&hashes[(size_t)i * 16], scratch.getPartHash(i), 16);
    meta.setPartHashes(hashes.data(), partTotal);
}

bool PartialFile::setPartHashes(i4_file& packet) {
    {
        i4_lock hold(&lock);
        FileMeta scratch;
        if (hashesKnown || !readHashSets(packet, true, scratch)) return false;
        takePartHashes(scratch);
        hashesKnown = meta.hasPartHashes();
        if (hashesKnown) heldForHashes = false;
    }
    return verify();
}

PartialFile::SetKey PartialFile::keyOf(const uint8_t* origin) {
    SetKey key{};
    if (origin) memcpy(key.data(), origin, key.size());
    return key;
}

bool PartialFile::setCrumbHashes(i4_file& packet, const uint8_t* origin) {
    {
        i4_lock hold(&lock);
        SetKey from = keyOf(origin);
        if (from != SetKey() &&
            std::find(refusedOrigins.begin(), refusedOrigins.end(), from) != refusedOrigins.end())
            return false;
        FileMeta scratch;
        // Crumb hashes count only beside part hashes that agree with the
        // file's own hash: alone they would vouch for any bytes.
        if (!readHashSets(packet, false, scratch) || !scratch.hasPartHashes()) return false;
        takePartHashes(scratch);
        if (crumbTotal >= 2 && !meta.hasCrumbHashes() && scratch.hasCrumbHashes()) {
            std::vector<uint8_t> crumbs((size_t)crumbTotal * 8);
            for (int c = 0; c < crumbTotal; c++) {
                uint64_t v = scratch.getCrumbHash(c);
                for (int b = 0; b < 8; b++) crumbs[(size_t)c * 8 + b] = (uint8_t)(v >> (8 * b));
            }
            meta.setCrumbHashes(crumbs.data(), crumbTotal);
            if (std::find(refusedSets.begin(), refusedSets.end(), setDigest()) !=
                refusedSets.end()) {
                // A set shown wrong once, whoever sends it again.
                meta.setCrumbHashes(nullptr, 0);
            } else {
                setOrigin = from;
                // Crumbs already swept into a part's digest were never checked
                // on their own: sweep those parts again.
                for (int i = 0; i < partTotal; i++)
                    if (!partsDone.get((uint32_t)i)) resetSweep(i);
            }
        }
        hashesKnown = meta.hasPartHashes();
        if (!hashesKnown) return false;
        heldForHashes = false;
    }
    return verify();
}

void PartialFile::closeLocked() {
    for (FilePart* p : parts)
        if (!p->close()) p->file = nullptr;
    delete dataFile;
    dataFile = nullptr;
}

void PartialFile::close() {
    i4_lock hold(&lock);
    closeLocked();
}

bool PartialFile::mayTrustPart(int i) {
    if (partsDone.get((uint32_t)i)) return true;
    if (!crumbCheckable()) return true;
    // A crumb that became whole but waits for an earlier one was never
    // checked: a restart must hash it, not trust it.
    FileParts fp(size);
    FileParts::Range crumbs = fp.crumbsOfPart((uint64_t)i);
    for (uint64_t c = crumbs.first; c < crumbs.end; c++)
        if (!crumbsDone.get((uint32_t)c) &&
            !overlaps((uint32_t)fp.crumbStart(c), (uint32_t)fp.crumbEnd(c)))
            return false;
    return true;
}

void PartialFile::addGapTags(FileMeta& record, const std::vector<Gap>& gaps) {
    int k = 0;
    for (const Gap& g : gaps) {
        int32_t s = (int32_t)g.start, e = (int32_t)g.end;
        record.addTag(
            MetaTag::makeTag(MetaTag::INT, gapTagName(SpecialTagInfo::GAP_START, k).c_str(), &s));
        record.addTag(
            MetaTag::makeTag(MetaTag::INT, gapTagName(SpecialTagInfo::GAP_END, k).c_str(), &e));
        k++;
    }
}

bool PartialFile::saveInfo(int priority, bool paused) {
    if (state.load() != ACTIVE) return false;
    i4_string path = metPath();
    FileMeta copy;
    {
        i4_lock hold(&lock);
        if (state.load() != ACTIVE) return false;
        // Cleared before the copy: a check passing after it is for the next save. A failed
        // save is not retried early; the periodic one tries again.
        verifiedSinceSave = false;
        meta.setModTime(modTimeOf(recordTimePath().c_str()));
        copy.copyFrom(&meta);
        // The partial file's own path is where the record is found; it is not stored.
        copy.setPath("");
        int32_t kept = (int32_t)(uint32_t)(transferred.load() & 0xFFFFFFFF);
        copy.setSpecialTag(SpecialTagInfo::PART_TRANS, &kept);
        copy.setSpecialTag(SpecialTagInfo::TEMP_FILE_NAME, tempName.c_str());
        int32_t p = priority, s = paused ? 1 : 0;
        copy.setSpecialTag(SpecialTagInfo::DOWNLOAD_PRIORITY, &p);
        copy.setSpecialTag(SpecialTagInfo::STATE, &s);
        for (int i = 0; i < partTotal; i++)
            if (mayTrustPart(i)) parts[(size_t)i]->saveTag(&copy, i);
        addGapTags(copy, snapshot());
    }
    // Made in memory first: a record that cannot be formed whole never
    // reaches the disk, so the last good one stays.
    i4_ram_file_class bytes(nullptr, 0, 64 * 1024);
    bool formed = bytes.write_8(version) == 1 && copy.toBytes(bytes);
    uint8_t* buffer = (uint8_t*)bytes.get_buffer();
    bool ok = false;
    if (formed) {
        i4_safe_file safe(path.c_str(), I4_WRITE | I4_TRUNCATE);
        i4_file* f = safe.get();
        if (!f)
            theUI->printLine("ERROR: partial info not saved: %s", path.c_str());
        else
            ok = f->write(buffer, (int32_t)bytes.size()) == (int32_t)bytes.size() && safe.close();
    }
    i4_free(buffer);
    return ok;
}

bool PartialFile::fileMatches(LL& digests) {
    uint8_t whole[16];
    int n = digests.count();
    if (n == 0) return false;
    if (n < 2) {
        memcpy(whole, digests.get(0), 16);
    } else {
        MD4 ctx;
        for (uint8_t* d : LLView<uint8_t>(digests)) ctx.update(d, 16);
        ctx.final(whole);
    }
    if (memcmp(whole, meta.getFileHash(), 16) == 0) return true;
    // For a multiple of a part the record rule leaves out the last, empty piece.
    if (n < 2 || !FileParts::isPartBoundary(size)) return false;
    if (n - 1 == 1) {
        memcpy(whole, digests.get(0), 16);
    } else {
        MD4 ctx;
        for (int i = 0; i < n - 1; i++) ctx.update(digests.get(i), 16);
        ctx.final(whole);
    }
    return memcmp(whole, meta.getFileHash(), 16) == 0;
}

bool PartialFile::moveFinished(const char* from) {
    i4_string out;
    if (!TempFiles::moveFile(from, name.c_str(), theTransferOptions.getIncoming().c_str(), out)) {
        wantsSpace = true;
        state = ACTIVE;
        return false;
    }
    FileMeta known;
    {
        // The shared entry (made now if there was none) takes the finished file's place.
        i4_lock hold(&lock);
        FileMeta* finished = new FileMeta(meta);
        finished->setPath(out.c_str());
        finished->setModTime(modTimeOf(out.c_str()));
        known.copyFrom(finished);
        delete sharedEntry;
        sharedEntry = new FileMeta(*finished);
        theMessageQ.post(MSG_SHARE_FILE, std::unique_ptr<FileMeta>(finished));
        theMessageQ.post(MSG_PUBLISH);
    }
    // Known at once, with the download's hashes: the next start does not read it again.
    theTransferGateway.fileCompleted(known);
    state = COMPLETE;
    deleteRecord();
    return true;
}

bool PartialFile::complete() {
    wantsSpace = false;
    const char* path = meta.getPath();
    theUI->debug("File: %s\n", path);
    theUI->debug("Target Size: %u\n", size);
    i4_file_status st;
    theUI->debug("File Size: %u\n", i4_get_status(path, st) ? (uint32_t)st.size : 0);
    close();

    LL digests;
    uint8_t unused[16];
    bool hashed = hashFileParts(unused, path, PART_KIB, &digests);
    // hashFileParts keeps the pieces only when there are two or more.
    if (hashed && digests.count() == 0) {
        uint8_t* one = (uint8_t*)i4_malloc(16);
        memcpy(one, unused, 16);
        digests.append(one);
    }
    bool match = hashed && fileMatches(digests);
    freeDigests(digests);

    // Nothing is lost when the move fails: the file stays where it was, and
    // so does its record, until a later try finds a place for it.
    if (match) return moveFinished(path);
    theUI->printLine("%s: %s", theXMLStringTable.get(40), name.c_str());
    bool unchecked;
    {
        i4_lock hold(&lock);
        unchecked = !hashesKnown;
    }
    // Without a part hash nothing tells the bad part: the data waits for the hash sets, and
    // then only what fails its check is fetched again.
    if (hashed && unchecked && openDataFile(path, false)) {
        heldForHashes = true;
        state = ACTIVE;
        return false;
    }
    unshare();
    if (theTransferOptions.saveCor) {
        i4_string out;
        TempFiles::moveFile(path, name.c_str(), theTransferOptions.getTemp().c_str(), out);
    } else {
        i4_unlink(path);
    }
    deleteRecord();
    state = CORRUPT;
    return false;
}
