#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "MetaTestUtil.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/string/i4_err.h"
#include "meta/FileHashState.h"
#include "meta/FileMeta.h"
#include "util/LL.h"

namespace {

const uint64_t PART = 9728000;
const uint64_t CRUMB = 486400;

std::string hexOf(const uint8_t* d, int n = 16) {
    return hex(Bytes(d, d + n));
}

// Content that differs in every crumb, so a hash of the wrong range shows.
std::vector<uint8_t> content(uint64_t size) {
    std::vector<uint8_t> b(size);
    for (uint64_t i = 0; i < size; ++i) b[i] = (uint8_t)(i * 31 + (i >> 13) + (i >> 19));
    return b;
}

class TempDir {
public:
    TempDir() {
        strcpy(path, "/tmp/filehashXXXXXX");
        if (!mkdtemp(path)) path[0] = 0;
    }
    ~TempDir() {
        for (const std::string& f : files) unlink(f.c_str());
        rmdir(path);
    }
    std::string file(const char* name, const std::vector<uint8_t>& bytes) {
        std::string p = std::string(path) + "/" + name;
        FILE* f = fopen(p.c_str(), "wb");
        if (f) {
            if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
        }
        files.push_back(p);
        return p;
    }
    char path[64];
    std::vector<std::string> files;
};

// The digest of a file by the system's own tool, as a check on the MD4 used below.
std::string opensslMd4(const std::string& path) {
    std::string cmd =
        "openssl dgst -md4 -provider legacy -provider default -r '" + path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "";
    char buf[128] = {0};
    if (!fgets(buf, sizeof buf, p)) buf[0] = 0;
    pclose(p);
    std::string s(buf);
    return s.size() >= 32 ? s.substr(0, 32) : "";
}

std::string spaced(const std::string& plain) {
    std::string s;
    for (size_t i = 0; i < plain.size(); i += 2) {
        if (!s.empty()) s += ' ';
        s += plain.substr(i, 2);
    }
    return s;
}

struct HashCase {
    uint64_t size;
    int steps;
    int crumbs;
    int parts;
};

// The record rule computed independently of the hashing step and of FileParts.
struct Reference {
    explicit Reference(const std::vector<uint8_t>& data) {
        uint64_t size = data.size();
        for (uint64_t at = 0; at < size; at += CRUMB) {
            uint8_t d[16];
            MD4::digest(data.data() + at, (size_t)std::min(CRUMB, size - at), d);
            crumbs.push_back(hexOf(d, 8));
        }
        std::vector<uint8_t> cat;
        for (uint64_t at = 0; at < size; at += PART) {
            uint8_t d[16];
            MD4::digest(data.data() + at, (size_t)std::min(PART, size - at), d);
            parts.push_back(hexOf(d));
            cat.insert(cat.end(), d, d + 16);
        }
        uint8_t whole[16];
        if (parts.size() >= 2)
            MD4::digest(cat.data(), cat.size(), whole);
        else
            MD4::digest(data.data(), (size_t)size, whole);
        fileHash = hexOf(whole);
        // The check at completion: floor(size / part) + 1 pieces, the last maybe empty.
        std::vector<uint8_t> pieces;
        for (uint64_t at = 0;; at += PART) {
            uint8_t d[16];
            uint64_t n = at < size ? std::min(PART, size - at) : 0;
            MD4::digest(data.data() + at, (size_t)n, d);
            pieces.insert(pieces.end(), d, d + 16);
            ++checkPieces;
            if (n < PART) break;
        }
        if (checkPieces >= 2)
            MD4::digest(pieces.data(), pieces.size(), whole);
        else
            memcpy(whole, pieces.data(), 16);
        checkHash = hexOf(whole);
    }
    std::vector<std::string> crumbs, parts;
    std::string fileHash, checkHash;
    int checkPieces = 0;
};

TEST(FileHash, StepsAndHashesAgreeWithAnIndependentComputation) {
    const HashCase table[] = {
        {0, 1, 0, 0},         {1, 1, 0, 0},         {486400, 1, 0, 0},     {486401, 2, 2, 0},
        {9728000, 20, 20, 0}, {9728001, 21, 21, 2}, {19456000, 40, 40, 2},
    };
    TempDir dir;
    ASSERT_TRUE(dir.path[0]);
    for (const HashCase& c : table) {
        std::vector<uint8_t> data = content(c.size);
        std::string path = dir.file(("f" + std::to_string(c.size)).c_str(), data);
        Reference ref(data);

        FileHashState state;
        FileMeta m(path.c_str(), state);
        EXPECT_EQ(m.getFileSize(), c.size);
        int steps = 1;
        while (m.hashStep(state)) ASSERT_LT(++steps, 100) << c.size;
        EXPECT_EQ(steps, c.steps) << c.size;
        EXPECT_EQ(state.crumbIndex, (uint64_t)c.crumbs) << c.size;
        EXPECT_EQ(state.partIndex, (uint64_t)c.parts) << c.size;
        EXPECT_EQ(hexOf(m.getFileHash()), ref.fileHash) << c.size;
        EXPECT_EQ(m.hasCrumbHashes(), true);
        EXPECT_EQ(m.hasPartHashes(), true);
        for (int i = 0; i < c.crumbs; ++i) {
            // The crumb hash's bytes in order, first byte lowest.
            uint64_t v = m.getCrumbHash(i);
            uint8_t bytes[8];
            for (int b = 0; b < 8; ++b) bytes[b] = (uint8_t)(v >> (8 * b));
            EXPECT_EQ(hexOf(bytes, 8), ref.crumbs[i]) << c.size << " crumb " << i;
            EXPECT_EQ(FileMeta::crumbValue(bytes), v);
        }
        for (int i = 0; i < c.parts; ++i)
            EXPECT_EQ(hexOf(m.getPartHash(i)), ref.parts[i]) << c.size << " part " << i;

        // The whole-file check at completion.
        LL digests;
        uint8_t check[16];
        ASSERT_TRUE(hashFileParts(check, path.c_str(), 9500, &digests));
        EXPECT_EQ(hexOf(check), ref.checkHash) << c.size;
        EXPECT_EQ(digests.count() + (ref.checkPieces < 2 ? 1 : 0), ref.checkPieces) << c.size;
        while (void* d = digests.removeAt(0)) i4_free(d);

        // MD4 itself against the system's tool, once per size that is one part.
        if (c.size <= PART) {
            std::string theirs = opensslMd4(path);
            if (!theirs.empty()) {
                EXPECT_EQ(spaced(theirs), ref.fileHash) << c.size;
            }
        }
    }
}

TEST(FileHash, ExactMultipleOfAPartChecksOneEmptyPieceMore) {
    TempDir dir;
    std::vector<uint8_t> data = content(PART);
    std::string path = dir.file("exact", data);
    LL digests;
    uint8_t check[16];
    ASSERT_TRUE(hashFileParts(check, path.c_str(), 9500, &digests));
    ASSERT_EQ(digests.count(), 2);
    uint8_t empty[16];
    md4String(empty, "");
    EXPECT_EQ(hexOf((uint8_t*)digests.get(1)), hexOf(empty));
    uint8_t whole[16];
    MD4::digest(data.data(), data.size(), whole);
    EXPECT_NE(hexOf(check), hexOf(whole));
    while (void* d = digests.removeAt(0)) i4_free(d);
}

TEST(FileHash, RangesPartsAndFailures) {
    TempDir dir;
    std::vector<uint8_t> data = content(5000);
    std::string path = dir.file("small", data);
    i4_file* f = i4_open(path.c_str(), I4_READ);
    ASSERT_TRUE(f);
    const struct {
        uint64_t start, end;
        bool ok;
    } table[] = {
        {0, 5000, true},  {1000, 1024, true},  {4999, 5000, true},
        {100, 100, true}, {4000, 5001, false},
    };
    for (const auto& c : table) {
        uint8_t d[16];
        EXPECT_EQ(hashFileRange(d, *f, c.start, c.end), c.ok) << c.start << "-" << c.end;
        if (c.ok) {
            uint8_t want[16];
            MD4::digest(data.data() + c.start, (size_t)(c.end - c.start), want);
            EXPECT_EQ(hexOf(d), hexOf(want));
        }
    }
    // A part longer than what is left: the digest of what was there, and false.
    f->seek(3000);
    uint8_t d[16], want[16];
    EXPECT_FALSE(hashPart(d, *f, 9500));
    MD4::digest(data.data() + 3000, 2000, want);
    EXPECT_EQ(hexOf(d), hexOf(want));
    f->seek(0);
    EXPECT_TRUE(hashPart(d, *f, 4));
    MD4::digest(data.data(), 4096, want);
    EXPECT_EQ(hexOf(d), hexOf(want));
    delete f;

    LL digests;
    EXPECT_FALSE(hashFileParts(d, (std::string(dir.path) + "/missing").c_str(), 9500, &digests));
    EXPECT_EQ(digests.count(), 0);
    EXPECT_FALSE(hashOfPartHashes(d, 0, &digests));
}

TEST(FileHash, AFileThatShrinksWhileHashedReportsNotAllRead) {
    TempDir dir;
    std::string path = dir.file("shrinks", content(CRUMB * 2));
    FileHashState state;
    FileMeta m(path.c_str(), state);
    ASSERT_TRUE(m.hashStep(state));
    ASSERT_EQ(truncate(path.c_str(), CRUMB + 10), 0);
    try {
        m.hashStep(state);
        FAIL() << "no error";
    } catch (const i4_err& e) {
        EXPECT_STREQ(e.message(), "not all read");
    }
}

TEST(FileHash, LocalFileRecordsTakeTheirNameFromThePath) {
    TempDir dir;
    const char* names[] = {"readme", "song.mp3", "a.b.c"};
    for (const char* name : names) {
        std::string path = dir.file(name, content(3));
        FileHashState state;
        FileMeta m(path.c_str(), state);
        EXPECT_STREQ(m.getName(), name);
        EXPECT_STREQ(m.getPath(), path.c_str());
    }
    FileHashState state;
    try {
        FileMeta m((std::string(dir.path) + "/missing").c_str(), state);
        FAIL() << "no error";
    } catch (const i4_err& e) {
        EXPECT_STREQ(e.message(), "couldn't open");
    }
}

// A size of 4 GiB or more does not fit the records' 32-bit size: it is refused
// instead of being recorded wrapped (4 GiB + 5 would have become 5).
TEST(FileHash, FilesOfFourGiBOrMoreAreRefused) {
    TempDir dir;
    const struct {
        uint64_t size;
        bool accepted;
    } table[] = {
        {0xFFFFFFFFull, true},
        {0x100000000ull, false},
        {0x100000005ull, false},
    };
    for (const auto& c : table) {
        std::string path = dir.file("sparse", {});
        int fd = open(path.c_str(), O_WRONLY | O_LARGEFILE);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate64(fd, (off64_t)c.size), 0);
        close(fd);
        FileHashState state;
        try {
            FileMeta m(path.c_str(), state);
            EXPECT_TRUE(c.accepted) << c.size;
            EXPECT_EQ(m.getFileSize(), (uint32_t)c.size);
            EXPECT_EQ(state.size, c.size);
            EXPECT_EQ(state.partCount, 442u);
            EXPECT_EQ(m.partCount(), 442);
            EXPECT_EQ(m.crumbCount(), 8831);
        } catch (const i4_err& e) {
            EXPECT_FALSE(c.accepted) << c.size;
            EXPECT_STREQ(e.message(), "file too large to share");
        }
    }
}

}  // namespace
