// Helpers shared by the importer tests: a record's tags as (name, text) pairs in
// order, byte builders, and files that exist only in memory.
#pragma once

#include <map>
#include <stdint.h>
#include <string.h>
#include <string>
#include <utility>
#include <vector>

#include "i4min/file/i4_file.h"
#include "import/Importer.h"
#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "meta/MetaTestUtil.h"
#include "util/LLView.h"

typedef std::vector<std::pair<std::string, std::string>> TagList;

// Each tag as its display name (special tags) or stored name, and its text form.
inline TagList tagsOf(FileMeta& record) {
    TagList out;
    for (MetaTag* t : LLView<MetaTag>(record.getTags())) {
        char buf[300];
        const char* v = t->getValueText(buf, sizeof buf);
        out.push_back({t->getName() ? t->getName() : "", v ? v : ""});
    }
    return out;
}

// Runs one importer over the bytes as a memory file; took tells whether it accepted.
inline TagList importBytes(Importer& importer, const Bytes& bytes, const char* ext,
                           bool* took = nullptr) {
    ByteReader in(bytes);
    FileMeta record;
    bool t = importer.import(record, *in, ext);
    if (took) *took = t;
    return tagsOf(record);
}

inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes le32Bytes(uint32_t v) {
    return {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
}

inline Bytes be32Bytes(uint32_t v) {
    return {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
}

inline void putAt(Bytes& b, size_t at, const Bytes& what) {
    if (what.empty()) return;
    if (b.size() < at + what.size()) b.resize(at + what.size());
    memcpy(&b[at], what.data(), what.size());
}

// A file of any size that holds zero bytes except where pieces are placed, so a
// test can describe a file of hundreds of megabytes without writing it.
class SparseFile : public i4_file {
public:
    explicit SparseFile(int64_t size) : end(size), pos(0) {}
    void place(int64_t at, const Bytes& b) { pieces[at] = b; }
    int32_t reads = 0;
    int64_t bytesRead = 0;

    int32_t read(void* buf, int32_t n) override {
        ++reads;
        if (pos >= end || n <= 0) return 0;
        if (n > end - pos) n = (int32_t)(end - pos);
        memset(buf, 0, (size_t)n);
        for (auto& p : pieces) {
            int64_t from = p.first > pos ? p.first : pos;
            int64_t to = p.first + (int64_t)p.second.size();
            if (to > pos + n) to = pos + n;
            if (from < to)
                memcpy((uint8_t*)buf + (from - pos), &p.second[(size_t)(from - p.first)],
                       (size_t)(to - from));
        }
        pos += n;
        bytesRead += n;
        return n;
    }
    int32_t write(const void*, int32_t) override { return -1; }
    int64_t seek(int64_t p) override { return pos = p; }
    int64_t size() override { return end; }
    int64_t tell() override { return pos; }

private:
    std::map<int64_t, Bytes> pieces;
    int64_t end;
    int64_t pos;
};
