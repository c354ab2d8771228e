#include "transfer/download/GapList.h"

#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/Serializable.h"

GapList::GapList() {}

GapList::~GapList() {}

void GapList::append(Gap gap) {
    if (gap.start < gap.end) gaps.push_back(gap);
}

void GapList::lockedAppend(Gap gap) {
    i4_lock hold(&gapLock);
    append(gap);
}

bool GapList::isEmpty() {
    i4_lock hold(&gapLock);
    return gaps.empty();
}

int GapList::gapCount() {
    i4_lock hold(&gapLock);
    return (int)gaps.size();
}

bool GapList::overlapsNoLock(uint32_t start, uint32_t end) const {
    for (const Gap& g : gaps)
        if (meets(g.start, g.end, start, end)) return true;
    return false;
}

bool GapList::overlaps(uint32_t start, uint32_t end) {
    i4_lock hold(&gapLock);
    return overlapsNoLock(start, end);
}

int GapList::gapsIn(uint32_t start, uint32_t end, std::vector<Gap>& out) {
    i4_lock hold(&gapLock);
    int n = 0;
    for (const Gap& g : gaps) {
        if (!meets(g.start, g.end, start, end)) continue;
        out.push_back(Gap{g.start > start ? g.start : start, g.end < end ? g.end : end});
        n++;
    }
    return n;
}

uint64_t GapList::bytesIn(uint32_t start, uint32_t end) {
    i4_lock hold(&gapLock);
    uint64_t sum = 0;
    for (const Gap& g : gaps) {
        if (!meets(g.start, g.end, start, end)) continue;
        uint32_t s = g.start > start ? g.start : start;
        uint32_t e = g.end < end ? g.end : end;
        if (e > s) sum += (uint64_t)e - s;
    }
    return sum;
}

bool GapList::firstGapIn(uint32_t start, uint32_t end, Gap& out) {
    i4_lock hold(&gapLock);
    for (const Gap& g : gaps) {
        if ((g.start <= start && start < g.end) || (g.start < end && end <= g.end)) {
            out = Gap{g.start > start ? g.start : start, g.end < end ? g.end : end};
            return true;
        }
    }
    return false;
}

std::vector<Gap> GapList::snapshot() {
    i4_lock hold(&gapLock);
    return gaps;
}

void GapList::copyTo(GapList& other) {
    i4_lock hold(&gapLock);
    for (const Gap& g : gaps) other.lockedAppend(g);
}

void GapList::assign(GapList& other) {
    std::vector<Gap> copy = other.snapshot();
    i4_lock hold(&gapLock);
    gaps = copy;
}

void GapList::clear() {
    i4_lock hold(&gapLock);
    gaps.clear();
}

void GapList::addGap(uint32_t a, uint32_t b) {
    if (a >= b) return;
    i4_lock hold(&gapLock);
    size_t merged = gaps.size();  // none yet
    for (size_t i = 0; i < gaps.size(); i++) {
        Gap& g = gaps[i];
        bool haveMerged = merged < gaps.size();
        if (g.start <= a && g.end >= b) {
            if (haveMerged) gaps.erase(gaps.begin() + merged);
            return;
        }
        if (g.start <= a && a <= g.end) {
            if (haveMerged) {
                gaps[merged].start = g.start;
                gaps.erase(gaps.begin() + i--);
            } else {
                g.end = b;
                a = g.start;
                merged = i;
            }
        } else if (g.start <= b && b <= g.end) {
            if (haveMerged) {
                gaps[merged].end = g.end;
                gaps.erase(gaps.begin() + i--);
            } else {
                g.start = a;
                b = g.end;
                merged = i;
            }
        } else if (a <= g.start && g.end <= b) {
            if (haveMerged) {
                gaps.erase(gaps.begin() + i--);
            } else {
                g = Gap{a, b};
                merged = i;
            }
        }
    }
    if (merged >= gaps.size()) gaps.push_back(Gap{a, b});
}

void GapList::fillNoLock(uint32_t a, uint32_t b) {
    if (a >= b) return;
    // One walk does what restarting from the head after each removal would:
    // a gap already passed is never touched again by a later step.
    for (size_t i = 0; i < gaps.size();) {
        Gap& g = gaps[i];
        if (a <= g.start && g.start < b) {
            g.start = b;
            if (g.start >= g.end) {
                gaps.erase(gaps.begin() + i);
                continue;
            }
        }
        if (g.start >= a || a >= g.end) {
            i++;
            continue;
        }
        if (g.end < b) {
            g.end = a;
            i++;
            continue;
        }
        uint32_t upper = g.end;
        g.end = a;
        if (upper > b) gaps.push_back(Gap{b, upper});
        return;
    }
}

void GapList::fill(uint32_t start, uint32_t end) {
    i4_lock hold(&gapLock);
    fillNoLock(start, end);
}

void GapList::invert(uint32_t size) {
    i4_lock hold(&gapLock);
    std::vector<Gap> missing;
    missing.swap(gaps);
    append(Gap{0, size});
    for (const Gap& g : missing) fillNoLock(g.start, g.end);
}

bool GapList::toDisk(i4_file& f) {
    std::vector<Gap> copy = snapshot();
    // A count that wrapped would make the reader take present bytes for missing ones.
    if (copy.size() > 0xFFFF) return false;
    if (f.write_16((uint16_t)copy.size()) != 2) return false;
    for (const Gap& g : copy)
        if (f.write_32(g.start) != 4 || f.write_32(g.end) != 4) return false;
    return true;
}

bool GapList::fromDisk(i4_file& f) {
    std::vector<Gap> read;
    try {
        uint16_t n = f.read_16();
        if ((int64_t)n * 8 > Serializable::bytesLeft(f)) {
            clear();
            return false;
        }
        read.reserve(n);
        for (uint16_t i = 0; i < n; i++) {
            Gap g;
            g.start = f.read_32();
            g.end = f.read_32();
            read.push_back(g);
        }
    } catch (const i4_err&) {
        clear();
        return false;
    }
    i4_lock hold(&gapLock);
    gaps.clear();
    for (const Gap& g : read) append(g);
    return true;
}

void GapList::dump() {
    std::vector<Gap> copy = snapshot();
    theUI->printLine("\n#   (start- end)");
    int n = 1;
    for (const Gap& g : copy) theUI->printLine("(%d) (%u-%u)", n++, g.start, g.end);
    theUI->printLine("\n");
}
