// Any thread: every public operation holds the list's own non-recursive mutex
// for its whole run. Lock order on the download side: the pool's list, a
// download, its partial file, then this list; never the reverse.
//
// Which byte ranges of a file are still missing. A gap is half-open,
// [start, end), with 32-bit offsets as records and packets carry them; sums
// and lengths are 64-bit. The list keeps insertion order: a new gap goes to
// the end, and when a fill splits a gap its upper piece goes to the end.
//
// Serialised form (toDisk / fromDisk; little-endian):
//   offset  width  meaning
//   0       2      gap count n (the low 16 bits of the list's length)
//   2       8 n    each gap: u32 start, u32 end
#pragma once

#include <stdint.h>
#include <vector>

#include "i4min/threads/linux/i4_mutex.h"

class i4_file;

struct Gap {
    uint32_t start;
    uint32_t end;
    uint64_t length() const { return (uint64_t)end - start; }
};

class GapList {
public:
    GapList();
    virtual ~GapList();
    GapList(const GapList&) = delete;
    GapList& operator=(const GapList&) = delete;

    // Appends as given: no merging. An empty gap is not kept.
    void lockedAppend(Gap gap);
    bool isEmpty();
    // True when a gap meets [start, end); see meets() for the empty range.
    bool overlaps(uint32_t start, uint32_t end);
    // Appends to out each gap that meets [start, end), clipped to it, in list
    // order; answers how many.
    int gapsIn(uint32_t start, uint32_t end, std::vector<Gap>& out);
    uint64_t bytesIn(uint32_t start, uint32_t end);
    // The first gap in list order holding start, or reaching into the range
    // from before its end, clipped; out is left as it was when there is none.
    bool firstGapIn(uint32_t start, uint32_t end, Gap& out);
    void copyTo(GapList& other);
    // Takes copies of the other's gaps; the other must not be this list.
    void assign(GapList& other);
    void clear();
    // Marks [start, end) missing again, merged with the gaps it meets or touches.
    void addGap(uint32_t start, uint32_t end);
    // Marks [start, end) present.
    void fill(uint32_t start, uint32_t end);
    // The gaps become their complement within [0, size).
    void invert(uint32_t size);
    // The gaps in list order.
    std::vector<Gap> snapshot();
    int gapCount();

    bool toDisk(i4_file& f);
    // Replaces the gaps with those read; false (and no gaps) on a short or
    // damaged input.
    bool fromDisk(i4_file& f);
    // Prints the list, one line each, through the active UI.
    void dump();

    // The overlap test of a gap [s, e) and a range [a, b): the usual one for
    // non-empty ranges; an empty range meets a gap holding it or ending at it.
    static bool meets(uint32_t s, uint32_t e, uint32_t a, uint32_t b) {
        return (s <= a && a < e) || (s < b && b <= e) || (a <= s && e <= b);
    }

protected:
    // The same operations for a holder of the lock.
    void append(Gap gap);
    void fillNoLock(uint32_t start, uint32_t end);
    bool isEmptyNoLock() const { return gaps.empty(); }
    bool overlapsNoLock(uint32_t start, uint32_t end) const;
    void lockGaps() { gapLock.lock(); }
    void unlockGaps() { gapLock.unlock(); }

private:
    i4_mutex gapLock;
    std::vector<Gap> gaps;
};
