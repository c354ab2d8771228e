// No lock of its own: used under its download's lock on the core task thread,
// and by its partial file's verification (under the partial file's lock, from
// the core task thread or from a worker while the download is verifying).
//
// The crumb map of one download: which range to ask a source for next. Per
// crumb a weight (-1 when verified, else how many sources are counted as
// having it) and the crumb's missing ranges not yet handed out; and an order
// of the crumbs: least available first, nearest completion first among equals,
// a random start order breaking the remaining ties.
#pragma once

#include <stdint.h>
#include <vector>

#include "transfer/download/GapList.h"

class BoolArray;
class PartialFile;

class DLProgress {
public:
    DLProgress();
    virtual ~DLProgress();
    DLProgress(const DLProgress&) = delete;
    DLProgress& operator=(const DLProgress&) = delete;

    // Rebuilds the map from the partial file's gaps.
    void init(PartialFile* partialFile);
    void shuffle();
    void sort();
    // -1 when crumb a goes first, 1 when b does, 0 when they are equal.
    int compare(int a, int b) const;

    // Nothing unless the bits number exactly the crumbs.
    void changeWeight(const BoolArray* crumbs, int delta);
    void changeCrumbs(const BoolArray* oldCrumbs, const BoolArray* newCrumbs, int delta);
    void gotCrumb(int crumb);
    // The crumb failed its check: missing as a whole again.
    void resetCrumb(int crumb);
    // Gives back a range that was handed out and not finished: what of it the
    // partial file still misses returns to its crumb's list, except what the
    // list holds already. Answers how many ranges were added, or start when
    // the range is empty.
    int refreshGaps(uint32_t start, uint32_t end);
    int getWeight(int crumb) const;

    // The next range for a peer holding the given crumbs: the first missing
    // range of the first crumb in preferred order that the peer has, cut to
    // maxLen when that is not 0. Only bytes the partial file still misses are
    // handed out, and never one range twice.
    bool nextRange(const BoolArray* peerCrumbs, uint32_t& start, uint32_t& end, uint32_t maxLen);
    // A run of contiguous missing ranges inside one randomly chosen part.
    bool randomChunkRange(uint32_t& start, uint32_t& end);
    bool hasGaps() const;
    // Whether a range of a crumb the peer has is still unasked: what nextRange would find,
    // with nothing taken.
    bool hasRangeFor(const BoolArray* peerCrumbs) const;
    bool allAvailable() const;
    int crumbCount() const { return count; }
    // The ranges still to be handed out for a crumb.
    const std::vector<Gap>& crumbGaps(int crumb) const { return crumbs[crumb].gaps; }
    // The crumb indexes in preferred order.
    const std::vector<int>& preferred() const { return order; }
    void dump();

private:
    struct CrumbProgress {
        int weight;
        std::vector<Gap> gaps;
    };

    uint64_t missingBytes(int crumb) const;
    bool validCrumb(int crumb) const { return crumb >= 0 && crumb < count; }
    uint32_t crumbStart(int crumb) const;
    uint32_t crumbEnd(int crumb) const;

    int count;
    uint32_t size;
    PartialFile* partialFile;
    std::vector<CrumbProgress> crumbs;
    std::vector<int> order;
};
