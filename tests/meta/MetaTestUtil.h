// Helpers shared by the record-model tests: bytes in and out of memory files, and a
// sink that keeps what the record model prints.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/MetaOutput.h"
#include "meta/SpecialTagInfo.h"

typedef std::vector<uint8_t> Bytes;

// Writes through fn into a growing memory file and answers the bytes.
template <class Fn>
Bytes written(Fn fn) {
    // Steps large enough that a big output (a deep search tree) is not copied
    // again every few hundred bytes: under TSan each copy is slow.
    i4_ram_file_class f(nullptr, 0, 64 * 1024);
    fn(f);
    Bytes out((uint8_t*)f.get_buffer(), (uint8_t*)f.get_buffer() + f.size());
    i4_free(f.get_buffer());
    return out;
}

// A memory file over a copy of the bytes, so reads past them are seen by the sanitizers.
class ByteReader {
public:
    explicit ByteReader(const Bytes& b)
        : data(b), file(data.empty() ? nullptr : data.data(), (int32_t)data.size(), 0) {}
    i4_ram_file_class& operator*() { return file; }
    i4_ram_file_class* operator->() { return &file; }

private:
    Bytes data;
    i4_ram_file_class file;
};

inline std::string hex(const Bytes& b) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        if (!s.empty()) s += ' ';
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Keeps every text handed to the sink, line by line, and makes it the active sink.
class CapturedOutput : public MetaOutput {
public:
    CapturedOutput() { setMetaOutput(this); }
    ~CapturedOutput() override { setMetaOutput(nullptr); }
    void printLine(const char* text) override { lines.push_back(std::string(text) + "\n"); }
    void print(const char* text) override { lines.push_back(text); }
    void debug(const char* text) override { lines.push_back(std::string("debug:") + text); }
    void printFlush(const char* text) override { lines.push_back(text); }
    std::string all() const {
        std::string s;
        for (const std::string& l : lines) s += l;
        return s;
    }
    std::vector<std::string> lines;
};

struct SpecialTagsReady {
    SpecialTagsReady() { initSpecialTags(); }
};
