// Part and crumb arithmetic of one file size. A plain value: any thread.
//
// Every offset and count is 64-bit so nothing wraps near 4 GiB; a size is shared only
// when it fits the 32-bit fields of records and packets (isShareable).
#pragma once

#include <stdint.h>

class FileParts {
public:
    // Half-open run of crumbs [first, end); empty when end <= first.
    struct Range {
        uint64_t first;
        uint64_t end;
        constexpr bool empty() const { return first >= end; }
        constexpr uint64_t count() const { return empty() ? 0 : end - first; }
    };

    static constexpr uint64_t PART_SIZE = 9728000;  // 9500 x 1024
    static constexpr uint64_t CRUMB_SIZE = 486400;  // 475 x 1024
    static constexpr uint64_t CRUMBS_PER_PART = PART_SIZE / CRUMB_SIZE;
    static constexpr uint64_t READ_BLOCK = 1024;
    static constexpr uint64_t MAX_SHARED_SIZE = 0xFFFFFFFFull;  // 4 GiB - 1

    constexpr explicit FileParts(uint64_t size) : fileSize(size) {}

    constexpr uint64_t size() const { return fileSize; }
    static constexpr bool isShareable(uint64_t size) { return size <= MAX_SHARED_SIZE; }

    // Record rule: ceil(size / unit); 0 for an empty file.
    constexpr uint64_t partCount() const { return ceilDiv(fileSize, PART_SIZE); }
    constexpr uint64_t crumbCount() const { return ceilDiv(fileSize, CRUMB_SIZE); }
    // The whole-file check at completion hashes floor(size / part) + 1 pieces, the
    // last one empty for an exact multiple.
    constexpr uint64_t checkPieceCount() const { return fileSize / PART_SIZE + 1; }

    // Which part or crumb holds byte n. Crumbs never cross a part boundary because a
    // part is a whole number of crumbs.
    static constexpr uint64_t partOf(uint64_t n) { return n / PART_SIZE; }
    static constexpr uint64_t crumbOf(uint64_t n) { return n / CRUMB_SIZE; }
    static constexpr uint64_t firstCrumbOfPart(uint64_t part) { return part * CRUMBS_PER_PART; }
    static constexpr uint64_t partOfCrumb(uint64_t crumb) { return crumb / CRUMBS_PER_PART; }
    // The crumbs of one part, clipped to the file: the last part may hold fewer, a part
    // past the end none.
    constexpr Range crumbsOfPart(uint64_t part) const {
        return Range{clipCrumb(firstCrumbOfPart(part)), clipCrumb(firstCrumbOfPart(part + 1))};
    }
    // The crumbs that bytes [start, end) touch, not clipped to any file; none for an empty range.
    static constexpr Range crumbsOfRange(uint64_t start, uint64_t end) {
        return start < end ? Range{crumbOf(start), crumbOf(end - 1) + 1}
                           : Range{crumbOf(start), crumbOf(start)};
    }

    // Half-open byte ranges [start, end), clipped to the file.
    constexpr uint64_t partStart(uint64_t part) const { return clip(part * PART_SIZE); }
    constexpr uint64_t partEnd(uint64_t part) const { return clip((part + 1) * PART_SIZE); }
    constexpr uint64_t crumbStart(uint64_t crumb) const { return clip(crumb * CRUMB_SIZE); }
    constexpr uint64_t crumbEnd(uint64_t crumb) const { return clip((crumb + 1) * CRUMB_SIZE); }
    // End of the crumb that starts at or holds byte n: where one hashing step stops.
    constexpr uint64_t crumbEndAt(uint64_t n) const { return crumbEnd(crumbOf(n)); }
    static constexpr bool isPartBoundary(uint64_t n) { return n % PART_SIZE == 0; }
    // The first part is the largest: room enough for any one part.
    constexpr uint64_t largestPartSize() const { return clip(PART_SIZE); }

private:
    static constexpr uint64_t ceilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }
    constexpr uint64_t clip(uint64_t n) const { return n < fileSize ? n : fileSize; }
    constexpr uint64_t clipCrumb(uint64_t c) const { return c < crumbCount() ? c : crumbCount(); }

    uint64_t fileSize;
};

static_assert(FileParts::PART_SIZE % FileParts::CRUMB_SIZE == 0, "crumbs must tile a part");
static_assert(FileParts::CRUMB_SIZE % 64 == 0, "crumbs must start on an MD4 block");
