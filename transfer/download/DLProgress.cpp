#include "transfer/download/DLProgress.h"

#include <algorithm>

#include "core/UIGateway.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_random.h"
#include "meta/FileParts.h"
#include "transfer/download/PartialFile.h"
#include "util/BoolArray.h"

namespace {

const uint32_t HALF_CRUMB = (uint32_t)(FileParts::CRUMB_SIZE / 2);

// Appends the pieces of [g.start, g.end) that none of the taken ranges cover.
void appendUncovered(Gap g, const std::vector<Gap>& taken, std::vector<Gap>& out, int& added) {
    std::vector<Gap> pieces{g};
    for (const Gap& t : taken) {
        std::vector<Gap> left;
        for (const Gap& p : pieces) {
            if (t.end <= p.start || t.start >= p.end) {
                left.push_back(p);
                continue;
            }
            if (p.start < t.start) left.push_back(Gap{p.start, t.start});
            if (t.end < p.end) left.push_back(Gap{t.end, p.end});
        }
        pieces.swap(left);
    }
    for (const Gap& p : pieces) {
        out.push_back(p);
        added++;
    }
}

}  // namespace

DLProgress::DLProgress() : count(0), size(0), partialFile(nullptr) {}

DLProgress::~DLProgress() {}

uint32_t DLProgress::crumbStart(int crumb) const {
    return (uint32_t)FileParts(size).crumbStart((uint64_t)crumb);
}

uint32_t DLProgress::crumbEnd(int crumb) const {
    return (uint32_t)FileParts(size).crumbEnd((uint64_t)crumb);
}

void DLProgress::init(PartialFile* file) {
    partialFile = file;
    size = file->getSize();
    count = file->crumbCount();
    crumbs.assign((size_t)count, CrumbProgress{0, {}});
    order.assign((size_t)count, 0);
    // Each gap handed to the crumbs it spans, in the file's list order: the
    // same per-crumb lists as asking the gap list crumb by crumb, in one walk.
    for (const Gap& g : file->snapshot()) {
        uint32_t end = g.end < size ? g.end : size;
        if (g.start >= end) continue;
        FileParts::Range touched = FileParts::crumbsOfRange(g.start, end);
        for (uint64_t c = touched.first; c < touched.end; c++) {
            uint32_t cs = crumbStart((int)c), ce = crumbEnd((int)c);
            crumbs[c].gaps.push_back(Gap{g.start > cs ? g.start : cs, end < ce ? end : ce});
        }
    }
    for (int i = 0; i < count; i++) {
        CrumbProgress& c = crumbs[(size_t)i];
        c.weight = c.gaps.empty() ? -1 : 0;
        if (c.gaps.empty()) continue;
        // Two sources can so work on one empty crumb at once.
        uint32_t cs = crumbStart(i);
        Gap first = c.gaps[0];
        if (first.start == cs && first.end == crumbEnd(i) &&
            first.length() == FileParts::CRUMB_SIZE) {
            c.gaps[0].end = cs + HALF_CRUMB;
            c.gaps.push_back(Gap{cs + HALF_CRUMB, first.end});
        }
    }
    shuffle();
    sort();
}

void DLProgress::shuffle() {
    std::fill(order.begin(), order.end(), 0);
    for (int i = 1; i < count; i++) {
        int j = i4_random(count);
        while (order[(size_t)j] != 0) j = (j + 1) % count;
        order[(size_t)j] = i;
    }
}

uint64_t DLProgress::missingBytes(int crumb) const {
    uint64_t sum = 0;
    for (const Gap& g : crumbs[(size_t)crumb].gaps) sum += g.length();
    return sum;
}

int DLProgress::compare(int a, int b) const {
    int wa = crumbs[(size_t)a].weight, wb = crumbs[(size_t)b].weight;
    if (wa == -1) return wb == -1 ? 0 : 1;
    if (wb == -1 || wa < wb) return -1;
    if (wb < wa) return 1;
    uint64_t ma = missingBytes(a), mb = missingBytes(b);
    return ma < mb ? -1 : ma > mb ? 1 : 0;
}

void DLProgress::sort() {
    // The keys cannot change during a sort, so a stable sort on them gives the
    // order a stable insertion sort by compare gives, without its square cost.
    struct Key {
        int done;
        int weight;
        uint64_t missing;
    };
    std::vector<Key> keys((size_t)count);
    for (int i = 0; i < count; i++) {
        int w = crumbs[(size_t)i].weight;
        keys[(size_t)i] = Key{w == -1 ? 1 : 0, w, w == -1 ? 0 : missingBytes(i)};
    }
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) {
        const Key& x = keys[(size_t)a];
        const Key& y = keys[(size_t)b];
        if (x.done != y.done) return x.done < y.done;
        if (x.done) return false;
        if (x.weight != y.weight) return x.weight < y.weight;
        return x.missing < y.missing;
    });
}

void DLProgress::changeWeight(const BoolArray* bits, int delta) {
    if (!bits || bits->size() != (uint32_t)count) return;
    bool changed = false;
    for (int i = 0; i < count; i++) {
        CrumbProgress& c = crumbs[(size_t)i];
        if (c.weight == -1 || !bits->get((uint32_t)i)) continue;
        c.weight += delta;
        if (c.weight < 0) {
            c.weight = 0;
            theUI->print("DLProgress::changeWeight\n");
        }
        changed = true;
    }
    if (changed) sort();
}

void DLProgress::changeCrumbs(const BoolArray* oldBits, const BoolArray* newBits, int delta) {
    if (!oldBits || !newBits || oldBits->size() != (uint32_t)count ||
        newBits->size() != (uint32_t)count)
        return;
    bool changed = false;
    for (int i = 0; i < count; i++) {
        CrumbProgress& c = crumbs[(size_t)i];
        if (c.weight == -1) continue;
        int was = oldBits->get((uint32_t)i), now = newBits->get((uint32_t)i);
        if (was && !now) {
            c.weight -= delta;
            if (c.weight < 0) {
                c.weight = 0;
                theUI->print("DLProgress::changeCrumbs\n");
            }
            changed = true;
        } else if (now && !was) {
            c.weight += delta;
            changed = true;
        }
    }
    if (changed) sort();
}

void DLProgress::gotCrumb(int crumb) {
    if (!validCrumb(crumb)) {
        theUI->print("ERROR: DLProgress::gotCrumb(%u) %u\n", (unsigned)crumb, (unsigned)count);
        return;
    }
    crumbs[(size_t)crumb].weight = -1;
    sort();
}

void DLProgress::resetCrumb(int crumb) {
    if (!validCrumb(crumb)) return;
    CrumbProgress& c = crumbs[(size_t)crumb];
    c.weight = 0;
    c.gaps.assign(1, Gap{crumbStart(crumb), crumbEnd(crumb)});
    sort();
}

int DLProgress::refreshGaps(uint32_t start, uint32_t end) {
    if (start >= end || end == 0) return (int)start;
    if (!partialFile) return 0;
    std::vector<Gap> missing;
    partialFile->gapsIn(start, end, missing);
    int added = 0;
    for (const Gap& m : missing) {
        uint32_t e = m.end < size ? m.end : size;
        for (uint32_t s = m.start; s < e;) {
            int c = (int)FileParts::crumbOf(s);
            uint32_t ce = crumbEnd(c);
            Gap piece{s, e < ce ? e : ce};
            std::vector<Gap>& list = crumbs[(size_t)c].gaps;
            std::vector<Gap> already = list;
            appendUncovered(piece, already, list, added);
            s = piece.end;
        }
    }
    return added;
}

int DLProgress::getWeight(int crumb) const {
    return validCrumb(crumb) ? crumbs[(size_t)crumb].weight : -1;
}

bool DLProgress::nextRange(const BoolArray* peer, uint32_t& start, uint32_t& end, uint32_t maxLen) {
    if (!peer || peer->size() != (uint32_t)count) return false;
    for (int c : order) {
        CrumbProgress& crumb = crumbs[(size_t)c];
        if (crumb.weight == -1) return false;
        if (!peer->get((uint32_t)c)) continue;
        while (!crumb.gaps.empty()) {
            Gap g = crumb.gaps.front();
            // What arrived meanwhile (an unasked block, a range given back
            // twice) is not asked for again: start at the first missing byte.
            std::vector<Gap> missing;
            if (partialFile) partialFile->gapsIn(g.start, g.end, missing);
            uint32_t s = g.end, e = g.end;
            for (const Gap& m : missing)
                if (m.start < s && m.start < m.end) s = m.start;
            if (s >= g.end) {
                crumb.gaps.erase(crumb.gaps.begin());
                continue;
            }
            e = s;
            for (bool grew = true; grew;) {
                grew = false;
                for (const Gap& m : missing)
                    if (m.start <= e && m.end > e) {
                        e = m.end;
                        grew = true;
                    }
            }
            if (maxLen && e - s > maxLen) e = s + maxLen;
            if (e < g.end)
                crumb.gaps.front().start = e;
            else
                crumb.gaps.erase(crumb.gaps.begin());
            start = s;
            end = e;
            return true;
        }
    }
    return false;
}

bool DLProgress::randomChunkRange(uint32_t& start, uint32_t& end) {
    uint64_t parts = FileParts(size).partCount();
    if (parts == 0) return false;
    uint64_t first = (uint64_t)i4_random((int)parts);
    for (uint64_t k = 0; k < parts; k++) {
        uint64_t part = (first + k) % parts;
        FileParts::Range inPart = FileParts(size).crumbsOfPart(part);
        uint64_t c = inPart.first, last = inPart.end;
        bool started = false;
        uint32_t runStart = 0, runEnd = 0;
        for (; c < last; c++) {
            std::vector<Gap>& gaps = crumbs[c].gaps;
            if (gaps.empty()) {
                if (started) break;
                continue;
            }
            if (!started) {
                started = true;
                runStart = runEnd = gaps.front().start;
            }
            if (gaps.front().start != runEnd) break;
            // Only touching ranges join the run: bytes already present
            // between two gaps are never fetched again.
            while (!gaps.empty() && gaps.front().start == runEnd) {
                runEnd = gaps.front().end;
                gaps.erase(gaps.begin());
            }
            if (!gaps.empty() || runEnd != crumbEnd((int)c)) break;
        }
        if (runEnd > runStart) {
            start = runStart;
            end = runEnd;
            return true;
        }
    }
    return false;
}

bool DLProgress::hasGaps() const {
    for (const CrumbProgress& c : crumbs)
        if (!c.gaps.empty()) return true;
    return false;
}

bool DLProgress::hasRangeFor(const BoolArray* peer) const {
    if (!peer || peer->size() != (uint32_t)count) return false;
    std::vector<Gap> missing;
    for (int c = 0; c < count; c++) {
        const CrumbProgress& crumb = crumbs[(size_t)c];
        if (crumb.weight == -1 || !peer->get((uint32_t)c)) continue;
        // As nextRange: a listed range whose bytes arrived meanwhile is not one to ask for.
        for (const Gap& g : crumb.gaps) {
            if (!partialFile) return true;
            missing.clear();
            partialFile->gapsIn(g.start, g.end, missing);
            for (const Gap& m : missing)
                if (m.start < m.end) return true;
        }
    }
    return false;
}

bool DLProgress::allAvailable() const {
    for (const CrumbProgress& c : crumbs)
        if (c.weight == 0) return false;
    return true;
}

namespace {

i4_string gapText(const std::vector<Gap>& gaps) {
    i4_string text("");
    for (const Gap& g : gaps) {
        i4_string one;
        one.format(" (%u-%u)", g.start, g.end);
        text.append(one);
    }
    return text;
}

}  // namespace

void DLProgress::dump() {
    theUI->printLine("Progress Array:");
    for (int i = 0; i < count; i++)
        theUI->printLine("%d) %d%s", i, crumbs[(size_t)i].weight,
                         gapText(crumbs[(size_t)i].gaps).c_str());
    theUI->printLine("Preferred Array:");
    for (int p = 0; p < count; p++) {
        int c = order[(size_t)p];
        theUI->printLine("%d) %d : %d%s", p, c, crumbs[(size_t)c].weight,
                         gapText(crumbs[(size_t)c].gaps).c_str());
    }
}
