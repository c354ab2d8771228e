#include "transfer/download/CompPartialFile.h"

#include <errno.h>
#include <map>
#include <string.h>

#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileHashState.h"
#include "meta/FileParts.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/download/CompFilePart.h"
#include "transfer/download/TempFiles.h"
#include "transfer/share/TransferOptions.h"
#include "util/LL.h"
#include "util/LLView.h"

namespace {

// Directory names tried for one download before giving up.
const int MAX_DIRECTORY_TRIES = 1000;

// i when name is i in canonical decimal followed by "mod", else -1.
int timeTagIndex(const char* name) {
    if (!name || name[0] < '0' || name[0] > '9' || (name[0] == '0' && name[1] != 'm')) return -1;
    long k = 0;
    const char* p = name;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (k > 1000000) return -1;
        k = k * 10 + (*p - '0');
    }
    return strcmp(p, "mod") == 0 ? (int)k : -1;
}

void freeDigests(LL& digests) {
    while (void* d = digests.removeAt(0)) i4_free(d);
}

}  // namespace

CompPartialFile::CompPartialFile() : dir("") {
    version = VERSION_PARTS;
    number = 1;
}

i4_string CompPartialFile::makeTempDir(FileMeta* record) {
    if (!record) return i4_string("");
    i4_string safe;
    i4_safe_component(record->getName(), safe, TempFiles::MAX_COMPONENT);
    i4_string temp = theTransferOptions.getTemp();
    for (int k = 0; k < MAX_DIRECTORY_TRIES; k++) {
        i4_string path;
        if (k == 0)
            path.format("%s/%s", temp.c_str(), safe.c_str());
        else
            path.format("%s/%s.%d", temp.c_str(), safe.c_str(), k);
        if (i4_mkdir(path.c_str())) {
            path.append("/");
            return path;
        }
        // Only a taken name is worth another try; no permission or no space
        // would fail the same way for every name.
        if (errno != EEXIST) break;
    }
    return i4_string("");
}

void CompPartialFile::createParts() {
    // The stored part times, taken out of the record in one walk.
    std::map<int, int64_t> stored;
    LL* tags = meta.getTags();
    std::vector<MetaTag*> keep;
    for (MetaTag* t : LLView<MetaTag>(tags)) {
        int i = timeTagIndex(t->getStoredName());
        if (i < 0) {
            keep.push_back(t);
            continue;
        }
        if (t->getType() == MetaTag::INT && !stored.count(i))
            stored[i] = (int64_t)(uint32_t) * (const int32_t*)t->getValue();
        delete t;
    }
    tags->clear();
    for (MetaTag* t : keep) tags->append(t);

    FileParts fp(size);
    for (int i = 0; i < partTotal; i++) {
        auto found = stored.find(i);
        parts.push_back(new CompFilePart(partPath(i).c_str(), (uint32_t)fp.partStart((uint64_t)i),
                                         (uint32_t)fp.partEnd((uint64_t)i),
                                         found == stored.end() ? -1 : found->second));
    }
}

i4_string CompPartialFile::partPath(int i) const {
    i4_string p;
    p.format("%s%d.%d.part", dir.c_str(), number, i + 1);
    return p;
}

i4_string CompPartialFile::metPath() {
    i4_string p;
    p.format("%s%d.part.met", dir.c_str(), number);
    return p;
}

i4_string CompPartialFile::tempDir() {
    return dir;
}

i4_string CompPartialFile::recordTimePath() {
    i4_string p;
    p.format("%s/%s", theTransferOptions.getTemp().c_str(), tempName.c_str());
    return p;
}

bool CompPartialFile::load(FileMeta* record, int n) {
    number = n;
    readGaps(record, true);
    record->removeSpecialTag(SpecialTagInfo::TEMP_FILE_NAME);
    i4_string parent, base, ext;
    i4_split_path(record->getPath(), parent, base, ext);
    dir = parent;
    dir.append("/");
    unjoin(record->getFileSize());
    size = record->getFileSize();
    if (movedBeforeTheCrash(record)) {
        // Only the record was left: the download is over.
        init(record);
        deleteRecord();
        i4_rmdir(dir.c_str());
        state = COMPLETE;
        return true;
    }
    uint64_t missing = bytesIn(0, size);
    missingPastFileEnds();
    uint64_t lost = bytesIn(0, size) - missing;
    init(record);
    int64_t kept =
        (int64_t)(uint32_t)meta.getSpecialInt(SpecialTagInfo::PART_TRANS) - (int64_t)lost;
    transferred = kept < 0 ? 0 : kept;
    meta.removeSpecialTag(SpecialTagInfo::PART_TRANS);
    return true;
}

bool CompPartialFile::movedBeforeTheCrash(FileMeta* record) {
    // The record is written whole before the join starts, and the joined file
    // is the last part file to go.
    if (!isEmpty()) return false;
    int count = (int)FileParts(size).partCount();
    for (int i = 0; i < count; i++) {
        i4_file_status st;
        if (i4_get_status(partPath(i).c_str(), st)) return false;
    }
    return count > 0 &&
           TempFiles::movedHere(record->getName(), theTransferOptions.getIncoming().c_str(), size);
}

void CompPartialFile::missingPastFileEnds() {
    FileParts fp(size);
    uint64_t count = fp.partCount();
    for (uint64_t i = 0; i < count; i++) {
        i4_file_status st;
        int64_t held = i4_get_status(partPath((int)i).c_str(), st) && !st.is_dir ? st.size : 0;
        uint64_t start = fp.partStart(i), end = fp.partEnd(i);
        if (held < 0) held = 0;
        if ((uint64_t)held < end - start) addGap((uint32_t)(start + (uint64_t)held), (uint32_t)end);
    }
}

bool CompPartialFile::unjoin(uint32_t fileSize) {
    FileParts fp(fileSize);
    int count = (int)fp.partCount();
    i4_string first = partPath(0);
    i4_file_status st;
    if (count < 2 || !i4_get_status(first.c_str(), st) || st.is_dir) return true;
    int64_t held = st.size;
    if (held <= (int64_t)fp.partEnd(0)) return true;
    // The parts wholly inside: 0..k.
    int k = 0;
    while (k + 1 < count && held >= (int64_t)fp.partEnd((uint64_t)k + 1)) k++;
    // Beyond them a piece of the part whose join was under way, or bytes no
    // part owns.
    for (int j = k + 1; j >= 1; j--) {
        if (j >= count) {
            if (!i4_truncate(first.c_str(), (int64_t)fp.partEnd((uint64_t)count - 1))) return false;
            continue;
        }
        int64_t from = (int64_t)fp.partStart((uint64_t)j);
        int64_t length = (int64_t)fp.partEnd((uint64_t)j) - from;
        if (held <= from) continue;
        i4_string own = partPath(j);
        i4_file_status ownSt;
        bool whole = i4_get_status(own.c_str(), ownSt) && !ownSt.is_dir && ownSt.size == length;
        // A part's own file is removed only once it is joined, and a part is
        // cut off only once its own file holds it: a whole own file is a copy.
        if (whole) {
            if (!i4_truncate(first.c_str(), from)) return false;
        } else if (!i4_cut_tail(first.c_str(), own.c_str(), held - from)) {
            return false;
        }
        held = from;
    }
    return true;
}

bool CompPartialFile::create(FileMeta* record) {
    number = 1;
    dir = makeTempDir(record);
    if (dir.is_empty()) return false;
    size = record->getFileSize();
    lockedAppend(Gap{0, size});
    init(record);
    return true;
}

void CompPartialFile::deleteFiles() {
    state = CORRUPT;
    {
        i4_lock hold(&lock);
        for (FilePart* p : parts) p->remove();
    }
    deleteRecord();
    i4_rmdir(dir.c_str());
    unshare();
}

int CompPartialFile::splitBack(int from, int to) {
    int lowest = to;
    for (int i = to - 1; i >= from; i--) {
        FilePart* p = parts[(size_t)i];
        if (!i4_cut_tail(parts[0]->name.c_str(), p->name.c_str(), (int64_t)p->end - p->start))
            break;
        lowest = i;
        assembleProgressValue = (int)((int64_t)(i - from) * 100 / (to - from));
    }
    assembleProgressValue = 0;
    // Parts that stayed inside the first part's file are not where their
    // record says: they are downloaded again.
    if (lowest > from) {
        i4_truncate(parts[0]->name.c_str(), (int64_t)parts[0]->end - parts[0]->start);
        i4_lock hold(&lock);
        for (int i = from; i < lowest; i++) markPartMissing(i);
    }
    return lowest;
}

bool CompPartialFile::assemble() {
    FilePart* first = parts[0];
    {
        i4_lock hold(&lock);
        first->close();
    }
    // What an earlier join left in the first part's file may be the only copy
    // of the parts it holds: they go back before the first part is set to its
    // length.
    if (!unjoin(size) || !i4_truncate(first->name.c_str(), (int64_t)first->end - first->start))
        return false;
    for (int i = 1; i < partTotal; i++) {
        FilePart* p = parts[(size_t)i];
        {
            i4_lock hold(&lock);
            p->close();
        }
        if (!i4_truncate(p->name.c_str(), (int64_t)p->end - p->start) ||
            !i4_append_file(first->name.c_str(), p->name.c_str())) {
            theUI->print("Error assembling complete file\n");
            // Only what was joined is taken apart again.
            splitBack(1, i);
            return false;
        }
        assembleProgressValue = (int)((int64_t)i * 100 / partTotal);
        i4_unlink(p->name.c_str());
    }
    assembleProgressValue = 0;
    return true;
}

void CompPartialFile::reopenBadParts(LL& digests) {
    splitBack(1, partTotal);
    i4_lock hold(&lock);
    for (int i = 0; i < partTotal; i++) {
        FilePart* p = parts[(size_t)i];
        if (overlaps(p->start, p->end)) continue;  // already missing
        const uint8_t* expected = meta.getPartHash(i);
        const uint8_t* computed = i < digests.count() ? (const uint8_t*)digests.get(i) : nullptr;
        if (!expected && !hashesKnown) {
            // Which part is bad is not known yet: its bytes wait for the
            // part hashes instead of being fetched again whole.
            heldForHashes = true;
            continue;
        }
        // A part without a verdict would never be fetched or checked again.
        if (expected && computed && memcmp(expected, computed, 16) == 0) {
            if (!partsDone.get((uint32_t)i)) setPartDone(i);
        } else {
            markPartMissing(i);
        }
    }
}

bool CompPartialFile::complete() {
    wantsSpace = false;
    close();
    if (partTotal == 0) return false;
    // Joining needs room for one more part beside the others, and the reserve.
    uint64_t largest = FileParts(size).largestPartSize();
    int64_t free = i4_free_space(dir.c_str());
    if (free < 0 || (uint64_t)free < largest + theTransferOptions.resHD || !assemble()) {
        wantsSpace = true;
        state = ACTIVE;
        return false;
    }
    const char* joined = parts[0]->name.c_str();
    LL digests;
    uint8_t single[16];
    bool hashed = hashFileParts(single, joined, (uint32_t)(FileParts::PART_SIZE / 1024), &digests);
    if (hashed && digests.count() == 0) {
        uint8_t* one = (uint8_t*)i4_malloc(16);
        memcpy(one, single, 16);
        digests.append(one);
    }
    if (hashed && fileMatches(digests)) {
        freeDigests(digests);
        if (!moveFinished(joined)) {
            // The parts go back where the record has them, to be joined again later.
            splitBack(1, partTotal);
            return false;
        }
        i4_rmdir(dir.c_str());
        return true;
    }
    theUI->printLine("%s: %s", theXMLStringTable.get(40), name.c_str());
    state = CORRUPT;
    reopenBadParts(digests);
    freeDigests(digests);
    state = ACTIVE;
    return false;
}
