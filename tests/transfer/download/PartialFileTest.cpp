#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <utime.h>
#include <vector>

#include "../DownloadTestSupport.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/FileParts.h"
#include "meta/MD4.h"
#include "meta/MetaTag.h"
#include "meta/MetaTestUtil.h"
#include "meta/SpecialTagInfo.h"
#include "support/ByteCompare.h"
#include "support/CapturedUI.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/download/PartialFile.h"

namespace {

const uint32_t PART = 9728000;
const uint32_t CRUMB = 486400;
const uint32_t BLOCK = 184320;

enum Layout { SINGLE, PER_PART };
const char* layoutName(Layout l) {
    return l == SINGLE ? "one file" : "file per part";
}

std::string bytesOf(const std::string& path) {
    return readText(path);
}

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void setTime(const std::string& path, time_t t) {
    struct utimbuf u = {t, t};
    utime(path.c_str(), &u);
}

// A partial file with its crumb map, as a download holds them.
class Fetch {
public:
    Fetch(Layout layout, FileMeta* record) : layout(layout) {
        file = make();
        EXPECT_TRUE(file->create(record));
    }
    ~Fetch() {
        if (file) file->release();
    }
    PartialFile* make() {
        PartialFile* f = layout == SINGLE ? new PartialFile() : new CompPartialFile();
        f->addRef();
        f->setProgress(&map);
        return f;
    }
    bool deliver(const std::vector<uint8_t>& content, uint32_t start, uint32_t end) {
        return file->writeBlock(content.data() + start, end - start, start, end).gapsRemain;
    }
    // Saves, drops the file and loads it again from its record, as a restart does.
    void reload() {
        ASSERT_TRUE(file->saveInfo(1, false));
        restart();
    }
    // Drops the file and loads it from the record on disk, as a client killed
    // and started again does.
    void restart() {
        std::string path = file->metPath().c_str();
        int number = file->getNumber();
        file->release();
        file = make();
        FileMeta record;
        int version = PartMetFile::read(path.c_str(), record);
        ASSERT_EQ(layout == SINGLE ? PartialFile::VERSION_SINGLE : PartialFile::VERSION_PARTS,
                  version);
        record.removeSpecialTag(SpecialTagInfo::DOWNLOAD_PRIORITY);
        record.removeSpecialTag(SpecialTagInfo::STATE);
        ASSERT_TRUE(file->load(&record, layout == SINGLE ? 0 : number));
        file->verify();
    }
    bool finish() {
        file->setState(PartialFile::COMPLETING);
        return file->complete();
    }
    Layout layout;
    DLProgress map;
    PartialFile* file;
};

// A file whose every read fails, as a failing disk's would.
class UnreadableFile : public i4_file {
public:
    int32_t read(void*, int32_t) override { return -1; }
    int32_t write(const void*, int32_t) override { return -1; }
    int64_t seek(int64_t pos) override { return pos; }
    int64_t size() override { return PART; }
    int64_t tell() override { return 0; }
};

std::vector<uint32_t> blockStarts(uint32_t size, uint32_t seed) {
    std::vector<uint32_t> starts;
    for (uint64_t s = 0; s < size; s += BLOCK) starts.push_back((uint32_t)s);
    std::shuffle(starts.begin(), starts.end(), std::mt19937(seed));
    return starts;
}

std::string fileHashOf(const std::string& path) {
    FileHashState state;
    FileMeta m(path.c_str(), state);
    while (m.hashStep(state)) {
    }
    return std::string((const char*)m.getFileHash(), 16);
}

// Random-order blocks of a real file into both layouts, with a restart from
// the record halfway: the finished file in incoming is the same bytes.
TEST(PartialFile, RandomBlocksWithARestartGiveTheSameFile) {
    const uint32_t sizes[] = {1, 486401, 9728000, 9728001, 20000000};
    for (Layout layout : {SINGLE, PER_PART}) {
        for (uint32_t size : sizes) {
            SCOPED_TRACE(std::string(layoutName(layout)) + " " + std::to_string(size));
            CapturedUI ui;
            TransferDirs dirs;
            std::vector<uint8_t> content = randomBytes(size, size);
            std::unique_ptr<FileMeta> record(recordOf(content, "movie.bin", dirs.root.path));
            Fetch fetch(layout, record.get());
            std::vector<uint32_t> starts = blockStarts(size, 7);
            bool more = true;
            for (size_t k = 0; k < starts.size(); k++) {
                if (k == starts.size() / 2) fetch.reload();
                uint32_t s = starts[k], e = std::min(s + BLOCK, size);
                more = fetch.deliver(content, s, e);
            }
            ASSERT_FALSE(more);
            EXPECT_EQ((int64_t)size, fetch.file->getTransferred());
            for (int c = 0; c < fetch.file->crumbCount(); c++)
                EXPECT_TRUE(fetch.file->isCrumbDone(c));
            ASSERT_TRUE(fetch.finish()) << ui.text();
            std::string done = dirs.incoming + "/movie.bin";
            EXPECT_BYTES_EQ(content, bytesOf(done));
            EXPECT_EQ(std::string((const char*)record->getFileHash(), 16), fileHashOf(done));
            EXPECT_EQ(PartialFile::COMPLETE, fetch.file->getState());
            EXPECT_FALSE(isFile(fetch.file->metPath().c_str())) << "record left behind";
            EXPECT_EQ(std::string::npos, ui.text().find("Corruption")) << ui.text();
        }
    }
}

TEST(PartialFile, CorruptCrumbAndPartAreFoundAndFetchedAgain) {
    for (Layout layout : {SINGLE, PER_PART}) {
        SCOPED_TRACE(layoutName(layout));
        CapturedUI ui;
        TransferDirs dirs;
        const uint32_t size = PART + 3 * CRUMB;
        std::vector<uint8_t> content = randomBytes(size, 3);
        std::unique_ptr<FileMeta> record(recordOf(content, "song.mp3", dirs.root.path));
        Fetch fetch(layout, record.get());
        std::vector<uint8_t> bad = content;
        bad[CRUMB + 5] ^= 1;  // in crumb 1
        fetch.deliver(content, 0, CRUMB);
        fetch.deliver(bad, CRUMB, 2 * CRUMB);
        std::string found = "Corruption found in song.mp3 at 486400-972800";
        EXPECT_NE(std::string::npos, ui.text().find(found)) << ui.text();
        EXPECT_TRUE(fetch.file->overlaps(CRUMB, 2 * CRUMB));
        EXPECT_FALSE(fetch.file->isCrumbDone(1));
        EXPECT_TRUE(fetch.file->isCrumbDone(0));
        EXPECT_EQ((int64_t)CRUMB, fetch.file->getTransferred());
        EXPECT_EQ(1, (int)fetch.map.crumbGaps(1).size());
        fetch.deliver(content, CRUMB, 2 * CRUMB);
        EXPECT_TRUE(fetch.file->isCrumbDone(1));

        // Without crumb hashes only the part's own check can tell.
        ui.out.clear();
        FileMeta bare(*record);
        bare.setCrumbHashes(nullptr, 0);
        bare.setName("bare.bin");
        Fetch plain(layout, &bare);
        plain.deliver(bad, 0, PART);
        EXPECT_NE(std::string::npos, ui.text().find("Corruption found in bare.bin at 0-9728000"));
        EXPECT_TRUE(plain.file->overlaps(0, PART));
        EXPECT_EQ(0, plain.file->getTransferred());
        plain.deliver(content, 0, size);
        EXPECT_TRUE(plain.file->isPartDone(0));
        EXPECT_TRUE(plain.file->isPartDone(1));
        EXPECT_TRUE(plain.finish());
    }
}

TEST(PartialFile, WritesFillOnlyGapsAndNeverAVerifiedCrumb) {
    TransferDirs dirs;
    std::vector<uint8_t> content = randomBytes(2 * CRUMB + 10, 4);
    std::unique_ptr<FileMeta> record(recordOf(content, "a.bin", dirs.root.path));
    Fetch fetch(SINGLE, record.get());
    fetch.deliver(content, 0, CRUMB);
    ASSERT_TRUE(fetch.file->isCrumbDone(0));
    std::vector<uint8_t> junk(content.size(), 0xEE);
    fetch.deliver(junk, 0, CRUMB + 100);
    // Only the 100 missing bytes were taken, and counted.
    EXPECT_EQ((int64_t)CRUMB + 100, fetch.file->getTransferred());
    std::vector<uint8_t> back(CRUMB);
    ASSERT_EQ(PartialFile::READ_OK, fetch.file->read(back.data(), 0, CRUMB));
    EXPECT_BYTES_EQ(std::vector<uint8_t>(content.begin(), content.begin() + CRUMB), back);
    EXPECT_EQ(PartialFile::READ_REFUSED, fetch.file->read(back.data(), CRUMB, CRUMB + 200));
}

TEST(PartialFile, RefusedWritesChangeNothing) {
    TransferDirs dirs;
    std::vector<uint8_t> content = randomBytes(1000, 5);
    std::unique_ptr<FileMeta> record(recordOf(content, "a.bin", dirs.root.path));
    Fetch fetch(SINGLE, record.get());
    struct Row {
        uint32_t start, end, available;
    } rows[] = {{10, 10, 100}, {20, 10, 100}, {900, 1001, 200}, {1000, 1100, 200}, {0, 100, 99}};
    for (const Row& r : rows) {
        EXPECT_TRUE(fetch.file->writeBlock(content.data(), r.available, r.start, r.end).gapsRemain);
        EXPECT_EQ(0, fetch.file->getTransferred()) << r.start << "-" << r.end;
        EXPECT_EQ(1000u, fetch.file->bytesIn(0, 1000));
    }
    // A packet shorter than its range is refused and keeps its position.
    i4_ram_file_class packet(content.data(), 50, 0);
    EXPECT_TRUE(fetch.file->write(packet, 0, 100).gapsRemain);
    EXPECT_EQ(0, packet.tell());
    i4_ram_file_class whole(content.data(), 1000, 0);
    EXPECT_FALSE(fetch.file->write(whole, 0, 1000).gapsRemain);
    EXPECT_EQ(1000, whole.tell());
}

TEST(PartialFile, BlockAcrossAPartBoundaryFillsBothParts) {
    for (Layout layout : {SINGLE, PER_PART}) {
        SCOPED_TRACE(layoutName(layout));
        TransferDirs dirs;
        FileMeta record;
        record.setName("two.bin");
        record.setFileSize(PART + 1);
        Fetch fetch(layout, &record);
        EXPECT_EQ(2, fetch.file->partCount());
        EXPECT_EQ(21, fetch.file->crumbCount());
        std::vector<uint8_t> data(PART + 1, 0x5A);
        fetch.deliver(data, PART - 10, PART + 1);
        EXPECT_EQ(11, fetch.file->getTransferred());
        EXPECT_FALSE(fetch.file->overlaps(PART - 10, PART + 1));
        EXPECT_TRUE(fetch.file->overlaps(PART - 11, PART - 10));
        if (layout == PER_PART) {
            std::string dir = fetch.file->tempDir().c_str();
            EXPECT_EQ(dirs.temp + "/two.bin/", dir);
            EXPECT_EQ(std::string(1, 0x5A), bytesOf(dir + "1.2.part"));
        } else {
            EXPECT_EQ(std::string(1, 0x5A), bytesOf(dirs.temp + "/1.part").substr(PART));
        }
    }
}

TEST(PartialFile, NewNamesSkipEveryLeftOverFileOfANumber) {
    TransferDirs dirs;
    i4_string name;
    EXPECT_EQ(1u, theTempFiles.newName(name));
    EXPECT_STREQ("1.part", name.c_str());
    theTempFiles.reset();
    writeText(dirs.temp + "/1.part", "");
    writeText(dirs.temp + "/2.part.met", "");
    writeText(dirs.temp + "/3.part.met.bak", "");
    EXPECT_EQ(4u, theTempFiles.newName(name));
    // Numbers are not used twice in a run, even once their files are gone.
    EXPECT_EQ(5u, theTempFiles.newName(name));
}

TEST(PartialFile, StoredGapsAreReadInOrderAndCutToTheFile) {
    TransferDirs dirs;
    FileMeta record;
    record.setName("7.part");
    record.setFileSize(1000);
    auto gapTag = [&](uint8_t id, int k, int32_t v) {
        char n[16];
        snprintf(n, sizeof n, "%c%d", id, k);
        record.setTag(n, &v, MetaTag::INT);
    };
    // Starts for 0..4, ends for 0..2: three gaps; one reaches past the size.
    gapTag(9, 0, 0);
    gapTag(9, 1, 100);
    gapTag(9, 2, 900);
    gapTag(9, 3, 5);
    gapTag(9, 4, 6);
    gapTag(10, 0, 10);
    gapTag(10, 1, 200);
    gapTag(10, 2, 5000);
    PartialFile file;
    EXPECT_EQ(3, file.readGaps(&record, true));
    std::vector<Gap> gaps = file.snapshot();
    ASSERT_EQ(3u, gaps.size());
    EXPECT_EQ(900u, gaps[2].start);
    EXPECT_EQ(1000u, gaps[2].end);
    // The pairs are taken out of the record; the unpaired starts stay.
    char n3[3] = {9, '3', 0}, e0[3] = {10, '0', 0};
    EXPECT_NE(nullptr, record.findTag(n3));
    EXPECT_EQ(nullptr, record.findTag(e0));

    // Overlapping stored gaps are merged so no byte is missing twice.
    FileMeta overlapping;
    overlapping.setFileSize(1000);
    int32_t a0 = 0, b0 = 500, a1 = 400, b1 = 600;
    overlapping.setTag(
        "\x09"
        "0",
        &a0, MetaTag::INT);
    overlapping.setTag(
        "\x0A"
        "0",
        &b0, MetaTag::INT);
    overlapping.setTag(
        "\x09"
        "1",
        &a1, MetaTag::INT);
    overlapping.setTag(
        "\x0A"
        "1",
        &b1, MetaTag::INT);
    PartialFile merged;
    merged.readGaps(&overlapping, true);
    EXPECT_EQ(600u, merged.bytesIn(0, 1000));

    // Without tag 18 the name is the data file's, and its number leads it.
    writeText(dirs.temp + "/7.part", std::string(1000, 'x'));
    PartialFile loaded;
    loaded.addRef();
    ASSERT_TRUE(loaded.load(&record, 0));
    EXPECT_STREQ("7.part", loaded.getTempName().c_str());
    EXPECT_EQ(7, loaded.getNumber());
    loaded.close();
}

TEST(PartialFile, LoadFailsWhenTheDataFileIsMissing) {
    CapturedUI ui;
    TransferDirs dirs;
    FileMeta record;
    record.setName("x");
    record.setFileSize(10);
    record.setSpecialTag(SpecialTagInfo::TEMP_FILE_NAME, "9.part");
    PartialFile file;
    EXPECT_FALSE(file.load(&record, 0));
    EXPECT_EQ(dirs.temp + "/9.part not found.\n", ui.text());
}

// A record whose data-file name tag holds a number, not a text: the record's
// own name is used, and nothing reads past the number.
TEST(PartialFile, ADataFileNameThatIsNoTextIsNotRead) {
    CapturedUI ui;
    TransferDirs dirs;
    FileMeta record;
    record.setName("x");
    record.setFileSize(10);
    int32_t number = 0x2e2e2e2e;
    record.addTag(MetaTag::makeTag(
        MetaTag::INT, SpecialTagInfo::get(SpecialTagInfo::TEMP_FILE_NAME)->tagName, &number));
    PartialFile file;
    EXPECT_FALSE(file.load(&record, 0));
    EXPECT_EQ(dirs.temp + "/x not found.\n", ui.text());
}

// What the same bytes failing their crumb check twice tell: the crumb hash is
// wrong. The set is dropped and the part's own check decides.
TEST(PartialFile, ACrumbSetThatKeepsFailingIsDropped) {
    CapturedUI ui;
    TransferDirs dirs;
    std::vector<uint8_t> content = randomBytes(3 * CRUMB, 6);
    std::unique_ptr<FileMeta> record(recordOf(content, "c.bin", dirs.root.path));
    std::vector<uint8_t> crumbs(3 * 8);
    for (int c = 0; c < 3; c++) {
        uint64_t v = record->getCrumbHash(c) ^ (c == 1 ? 1 : 0);
        for (int b = 0; b < 8; b++) crumbs[(size_t)c * 8 + b] = (uint8_t)(v >> (8 * b));
    }
    record->setCrumbHashes(crumbs.data(), 3);
    Fetch fetch(SINGLE, record.get());
    fetch.deliver(content, 0, 2 * CRUMB);
    EXPECT_TRUE(fetch.file->overlaps(CRUMB, 2 * CRUMB)) << "first failure counts as corruption";
    fetch.deliver(content, CRUMB, 2 * CRUMB);
    EXPECT_FALSE(fetch.file->hasCrumbHashes());
    EXPECT_FALSE(fetch.file->overlaps(CRUMB, 2 * CRUMB));
    EXPECT_FALSE(fetch.deliver(content, 2 * CRUMB, 3 * CRUMB));
    EXPECT_TRUE(fetch.file->isPartDone(0));
    EXPECT_TRUE(fetch.finish());
}

TEST(PartialFile, CrumbHashesCountOnlyBesideAgreeingPartHashes) {
    TransferDirs dirs;
    std::vector<uint8_t> content = randomBytes(PART + CRUMB, 8);
    std::unique_ptr<FileMeta> full(recordOf(content, "p.bin", dirs.root.path));
    FileMeta bare;
    bare.setName("p.bin");
    bare.setFileSize(PART + CRUMB);
    bare.setFileHash(full->getFileHash());
    Fetch fetch(SINGLE, &bare);
    ASSERT_FALSE(fetch.file->hasPartHashes());
    auto packet = [&](bool goodParts) {
        i4_ram_file_class f(nullptr, 0, 1024);
        FileMeta sets(*full);
        if (!goodParts) {
            uint8_t wrong[32] = {1};
            sets.setPartHashes(wrong, 2);
        }
        sets.writeHashSets(f);
        std::vector<uint8_t> b((uint8_t*)f.get_buffer(), (uint8_t*)f.get_buffer() + f.size());
        i4_free(f.get_buffer());
        return b;
    };
    std::vector<uint8_t> bad = packet(false);
    i4_ram_file_class badIn(bad.data(), (int32_t)bad.size(), 0);
    EXPECT_FALSE(fetch.file->setCrumbHashes(badIn, nullptr));
    EXPECT_FALSE(fetch.file->hasCrumbHashes());
    EXPECT_FALSE(fetch.file->hasPartHashes());
    std::vector<uint8_t> good = packet(true);
    i4_ram_file_class goodIn(good.data(), (int32_t)good.size(), 0);
    EXPECT_TRUE(fetch.file->setCrumbHashes(goodIn, nullptr));
    EXPECT_TRUE(fetch.file->hasCrumbHashes());
    EXPECT_TRUE(fetch.file->hasPartHashes());
}

// A size of exactly one part: the record rule hashes the part alone, the
// completion rule the part and an empty piece. Either completes.
TEST(PartialFile, ExactPartSizeCompletesUnderEitherRule) {
    for (Layout layout : {SINGLE, PER_PART}) {
        for (bool completionRule : {false, true}) {
            SCOPED_TRACE(std::string(layoutName(layout)) +
                         (completionRule ? " completion" : " record"));
            CapturedUI ui;
            TransferDirs dirs;
            std::vector<uint8_t> content = randomBytes(PART, 9);
            std::unique_ptr<FileMeta> record(recordOf(content, "exact.bin", dirs.root.path));
            if (completionRule) {
                uint8_t pieces[32], h[16];
                MD4::digest(content.data(), content.size(), pieces);
                MD4::digest("", 0, pieces + 16);
                MD4::digest(pieces, 32, h);
                record->setFileHash(h);
            }
            Fetch fetch(layout, record.get());
            for (uint32_t s = 0; s < PART; s += BLOCK)
                fetch.deliver(content, s, std::min(s + BLOCK, PART));
            EXPECT_TRUE(fetch.file->isPartDone(0)) << ui.text();
            ASSERT_TRUE(fetch.finish()) << ui.text();
            EXPECT_TRUE(isFile(dirs.incoming + "/exact.bin"));
        }
    }
}

TEST(PartialFile, WholeFileMismatchKeepsOrDropsTheDataAsSaveCorSays) {
    for (int keep : {1, 0}) {
        CapturedUI ui;
        TransferDirs dirs;
        theTransferOptions.saveCor = keep;
        const uint32_t size = PART + 10;
        std::vector<uint8_t> content = randomBytes(size, 10);
        std::unique_ptr<FileMeta> record(recordOf(content, "bad.bin", dirs.root.path));
        // Every part passes its own hash, and the file's hash is another's.
        uint8_t wrong[16] = {7};
        record->setFileHash(wrong);
        Fetch fetch(SINGLE, record.get());
        fetch.deliver(content, 0, size);
        EXPECT_FALSE(fetch.finish());
        EXPECT_EQ(PartialFile::CORRUPT, fetch.file->getState());
        EXPECT_EQ("Corrupted Download: bad.bin\n", ui.text());
        EXPECT_EQ(keep == 1, isFile(dirs.temp + "/bad.bin"));
        EXPECT_FALSE(isFile(dirs.temp + "/1.part"));
        EXPECT_FALSE(isFile(dirs.temp + "/1.part.met"));
        std::vector<uint8_t> buf(10);
        EXPECT_EQ(PartialFile::READ_CORRUPT, fetch.file->read(buf.data(), 0, 10));
    }
    theTransferOptions.saveCor = 1;
}

// Two downloads of one name both finish, the second beside the first; an
// incoming file of that name is never replaced.
TEST(PartialFile, FinishedFilesNeverReplaceOneAnother) {
    CapturedUI ui;
    TransferDirs dirs;
    writeText(dirs.incoming + "/song.mp3", "mine");
    writeText(dirs.incoming + "/2_song.mp3", "mine too");
    std::vector<std::string> expected = {dirs.incoming + "/3_song.mp3",
                                         dirs.incoming + "/4_song.mp3"};
    for (int k = 0; k < 2; k++) {
        std::vector<uint8_t> content = randomBytes(5000 + k, 11 + k);
        std::unique_ptr<FileMeta> record(recordOf(content, "song.mp3", dirs.root.path));
        Fetch fetch(k ? PER_PART : SINGLE, record.get());
        fetch.deliver(content, 0, (uint32_t)content.size());
        ASSERT_TRUE(fetch.finish());
        EXPECT_BYTES_EQ(content, bytesOf(expected[(size_t)k]));
    }
    EXPECT_EQ("mine", bytesOf(dirs.incoming + "/song.mp3"));
    EXPECT_EQ("mine too", bytesOf(dirs.incoming + "/2_song.mp3"));
}

// Names from the network stay one component inside the two directories.
TEST(PartialFile, HostileNamesStayInsideTheirDirectories) {
    std::string longName(400, 'n');
    longName += ".mp3";
    struct Row {
        const char* name;
        std::string expected;
    } rows[] = {
        {"../../x", "x"},
        {"a/b", "b"},
        {"..", "__"},
        {"c\\..\\d", "d"},
        {"tab\there\x1b[2J", "tab_here_[2J"},
        {"dir/", "_"},
        // Names are kept to 128 bytes in records.
        {longName.c_str(), std::string(128, 'n')},
    };
    for (Layout layout : {SINGLE, PER_PART}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(layoutName(layout)) + " " + r.name);
            CapturedUI ui;
            TransferDirs dirs;
            std::vector<uint8_t> content = randomBytes(300, 12);
            std::unique_ptr<FileMeta> record(recordOf(content, r.name, dirs.root.path));
            Fetch fetch(layout, record.get());
            if (layout == PER_PART) {
                EXPECT_EQ(dirs.temp + "/" + r.expected + "/", fetch.file->tempDir().c_str());
            }
            fetch.deliver(content, 0, 300);
            ASSERT_TRUE(fetch.finish()) << ui.text();
            EXPECT_TRUE(isFile(dirs.incoming + "/" + r.expected));
            EXPECT_FALSE(isFile(dirs.root.path + "/x"));
        }
    }
}

TEST(PartialFile, SameNameGetsItsOwnDirectoryAndUnmakeableOnesFail) {
    CapturedUI ui;
    TransferDirs dirs;
    FileMeta record;
    record.setName("same.bin");
    record.setFileSize(100);
    Fetch first(PER_PART, &record);
    Fetch second(PER_PART, &record);
    EXPECT_EQ(dirs.temp + "/same.bin/", first.file->tempDir().c_str());
    EXPECT_EQ(dirs.temp + "/same.bin.1/", second.file->tempDir().c_str());
    // A temporary "directory" that is a file: no name can be made, and no
    // attempt goes on without end.
    std::string plain = dirs.root / "plain";
    mkdir(plain.c_str(), 0777);
    theTransferOptions.setTemp(plain.c_str());
    rmdir(plain.c_str());
    writeText(plain, "");
    CompPartialFile third;
    EXPECT_FALSE(third.create(&record));
    PartialFile fourth;
    EXPECT_FALSE(fourth.create(&record));
}

// The first part of a finished download is joined with the others; a part
// that fails the whole-file check is fetched again, the others stay.
TEST(PartialFile, PartsFailingAtCompletionAreFetchedAgain) {
    CapturedUI ui;
    TransferDirs dirs;
    const uint32_t size = 20000000;
    std::vector<uint8_t> content = randomBytes(size, 13);
    std::unique_ptr<FileMeta> record(recordOf(content, "three.bin", dirs.root.path));
    Fetch fetch(PER_PART, record.get());
    fetch.deliver(content, 0, size);
    std::string dir = fetch.file->tempDir().c_str();
    EXPECT_EQ((size_t)PART, bytesOf(dir + "1.1.part").size());
    EXPECT_EQ((size_t)PART, bytesOf(dir + "1.2.part").size());
    EXPECT_EQ((size_t)(size - 2 * PART), bytesOf(dir + "1.3.part").size());
    // The disk turns a byte of the second part after it passed its check.
    std::string second = bytesOf(dir + "1.2.part");
    second[100] ^= 0x40;
    writeText(dir + "1.2.part", second);
    EXPECT_FALSE(fetch.finish());
    EXPECT_EQ(PartialFile::ACTIVE, fetch.file->getState());
    EXPECT_FALSE(fetch.file->needsSpace());
    EXPECT_NE(std::string::npos, ui.text().find("Corrupted Download: three.bin"));
    EXPECT_BYTES_EQ(std::string(content.begin(), content.begin() + PART),
                    bytesOf(dir + "1.1.part"));
    EXPECT_BYTES_EQ(std::string(content.begin() + 2 * PART, content.end()),
                    bytesOf(dir + "1.3.part"));
    EXPECT_FALSE(fetch.file->overlaps(0, PART));
    EXPECT_TRUE(fetch.file->overlaps(PART, 2 * PART));
    EXPECT_FALSE(fetch.file->overlaps(2 * PART, size));
    EXPECT_EQ((int64_t)(size - PART), fetch.file->getTransferred());
    fetch.deliver(content, PART, 2 * PART);
    ASSERT_TRUE(fetch.finish());
    EXPECT_BYTES_EQ(content, bytesOf(dirs.incoming + "/three.bin"));
    EXPECT_FALSE(isFile(dir + "1.part.met"));
}

TEST(PartialFile, TwoWholePartsSplitBackIntoTwoFiles) {
    CapturedUI ui;
    TransferDirs dirs;
    std::vector<uint8_t> content = randomBytes(2 * PART, 14);
    FileMeta record;
    record.setName("two.bin");
    record.setFileSize(2 * PART);
    uint8_t wrong[16] = {3};
    record.setFileHash(wrong);
    Fetch fetch(PER_PART, &record);
    fetch.deliver(content, 0, 2 * PART);
    EXPECT_FALSE(fetch.finish());
    std::string dir = fetch.file->tempDir().c_str();
    EXPECT_EQ((size_t)PART, bytesOf(dir + "1.1.part").size());
    EXPECT_EQ((size_t)PART, bytesOf(dir + "1.2.part").size());
    // No part hash is known to tell the bad part: the data waits for them, none of it missing.
    EXPECT_EQ(0ull, fetch.file->bytesIn(0, 2 * PART));
    EXPECT_TRUE(fetch.file->waitsForHashes());
    EXPECT_EQ(PartialFile::ACTIVE, fetch.file->getState());
}

// Joining stops where it cannot go on; what was joined is taken apart again,
// and the download waits for room instead of calling the data corrupt.
TEST(PartialFile, AFailedJoinPutsThePartsBack) {
    CapturedUI ui;
    TransferDirs dirs;
    const uint32_t size = 3 * PART;
    std::vector<uint8_t> content = randomBytes(size, 15);
    std::unique_ptr<FileMeta> record(recordOf(content, "join.bin", dirs.root.path));
    Fetch fetch(PER_PART, record.get());
    fetch.deliver(content, 0, size);
    std::string dir = fetch.file->tempDir().c_str();
    static std::string refused;
    refused = dir + "1.3.part";
    i4_set_open_hooks(
        [](const char* name, int flags) -> i4_file* {
            // Part 3 cannot be read: the join fails at it.
            if (refused == name && !(flags & I4_WRITE)) return new UnreadableFile();
            return nullptr;
        },
        nullptr);
    bool done = fetch.finish();
    i4_set_open_hooks(nullptr, nullptr);
    EXPECT_FALSE(done);
    EXPECT_TRUE(fetch.file->needsSpace());
    EXPECT_EQ(PartialFile::ACTIVE, fetch.file->getState());
    EXPECT_NE(std::string::npos, ui.text().find("Error assembling complete file"));
    for (int i = 0; i < 3; i++)
        EXPECT_BYTES_EQ(std::string(content.begin() + i * PART, content.begin() + (i + 1) * PART),
                        bytesOf(dir + "1." + std::to_string(i + 1) + ".part"))
            << "part " << i + 1;
    EXPECT_TRUE(fetch.file->isEmpty());
    ASSERT_TRUE(fetch.finish());
    EXPECT_BYTES_EQ(content, bytesOf(dirs.incoming + "/join.bin"));
}

// A client killed while it joins the parts: whatever the join had reached,
// the restart puts every part back in its own file, checks them and joins
// them again, and no byte is fetched twice.
TEST(PartialFile, AJoinCutShortAnywhereIsTakenApartOnLoad) {
    const uint32_t size = 2 * PART + 777777;
    const uint32_t third = size - 2 * PART;
    std::vector<uint8_t> content = randomBytes(size, 21);
    const std::string whole(content.begin(), content.end());
    auto piece = [&](uint32_t from, uint32_t to) { return whole.substr(from, to - from); };
    struct Disk {
        const char* moment;
        uint32_t firstHolds;  // bytes of the file in the first part's file
        int64_t second;       // bytes of part 2 in its own file, -1 none
        int64_t third;        // of part 3
    };
    const Disk moments[] = {
        {"nothing joined", PART, PART, third},
        {"part 2 half appended", PART + PART / 2, PART, third},
        {"part 2 appended, its file still there", 2 * PART, PART, third},
        {"part 2's file removed", 2 * PART, -1, third},
        {"part 3 half appended", 2 * PART + third / 2, -1, third},
        {"part 3 appended, its file still there", size, -1, third},
        {"all joined", size, -1, -1},
        {"part 3 half copied back", size, -1, third / 2},
        {"part 2 half copied back", 2 * PART, PART / 3, third},
    };
    for (const Disk& d : moments) {
        SCOPED_TRACE(d.moment);
        CapturedUI ui;
        TransferDirs dirs;
        std::unique_ptr<FileMeta> record(recordOf(content, "cut.bin", dirs.root.path));
        Fetch fetch(PER_PART, record.get());
        fetch.deliver(content, 0, size);
        ASSERT_TRUE(fetch.file->saveInfo(1, false));
        std::string dir = fetch.file->tempDir().c_str();
        writeText(dir + "1.1.part", piece(0, d.firstHolds));
        unlink((dir + "1.2.part").c_str());
        unlink((dir + "1.3.part").c_str());
        if (d.second >= 0) writeText(dir + "1.2.part", piece(PART, PART + (uint32_t)d.second));
        if (d.third >= 0)
            writeText(dir + "1.3.part", piece(2 * PART, 2 * PART + (uint32_t)d.third));
        fetch.restart();
        EXPECT_TRUE(fetch.file->isEmpty()) << "nothing to fetch again";
        for (int i = 0; i < 3; i++) EXPECT_TRUE(fetch.file->isPartDone(i)) << "part " << i + 1;
        EXPECT_EQ((size_t)PART, bytesOf(dir + "1.1.part").size());
        ASSERT_TRUE(fetch.finish()) << ui.text();
        EXPECT_BYTES_EQ(whole, bytesOf(dirs.incoming + "/cut.bin"));
        EXPECT_EQ(std::string::npos, ui.text().find("Corrupt")) << ui.text();
    }
}

// A part whose file is gone is missing, not done: it is fetched again, and the
// join never runs over it.
TEST(PartialFile, APartWithoutItsFileIsAGapAfterALoad) {
    CapturedUI ui;
    TransferDirs dirs;
    const uint32_t size = 2 * PART + 5000;
    std::vector<uint8_t> content = randomBytes(size, 22);
    std::unique_ptr<FileMeta> record(recordOf(content, "lost.bin", dirs.root.path));
    Fetch fetch(PER_PART, record.get());
    fetch.deliver(content, 0, size);
    ASSERT_TRUE(fetch.file->saveInfo(1, false));
    std::string dir = fetch.file->tempDir().c_str();
    unlink((dir + "1.2.part").c_str());
    // The last part's file lost its tail.
    truncate((dir + "1.3.part").c_str(), 1000);
    fetch.restart();
    EXPECT_FALSE(fetch.file->overlaps(0, PART));
    EXPECT_EQ((uint64_t)PART, fetch.file->bytesIn(PART, 2 * PART));
    EXPECT_EQ((uint64_t)4000, fetch.file->bytesIn(2 * PART, size));
    EXPECT_TRUE(fetch.file->isPartDone(0));
    EXPECT_FALSE(fetch.file->isPartDone(1));
    EXPECT_TRUE(fetch.deliver(content, PART, 2 * PART));
    EXPECT_FALSE(fetch.deliver(content, 2 * PART, size));
    ASSERT_TRUE(fetch.finish()) << ui.text();
    EXPECT_BYTES_EQ(content, bytesOf(dirs.incoming + "/lost.bin"));
}

// The disk refuses part 2's bytes: what reached part 1 counts, the rest of
// the block stays missing and is not counted, and the answer says so.
TEST(PartialFile, AWriteTheDiskRefusesStaysAGap) {
    CapturedUI ui;
    TransferDirs dirs;
    const uint32_t size = PART + 3000;
    std::vector<uint8_t> content = randomBytes(size, 23);
    std::unique_ptr<FileMeta> record(recordOf(content, "full.bin", dirs.root.path));
    Fetch fetch(PER_PART, record.get());
    static std::string refused;
    refused = std::string(fetch.file->tempDir().c_str()) + "1.2.part";
    i4_set_open_hooks(
        [](const char* name, int) -> i4_file* {
            return refused == name ? new UnreadableFile() : nullptr;
        },
        nullptr);
    PartialFile::WriteResult r =
        fetch.file->writeBlock(content.data() + PART - 1000, 2000, PART - 1000, PART + 1000);
    i4_set_open_hooks(nullptr, nullptr);
    EXPECT_TRUE(r.diskFailed);
    EXPECT_TRUE(r.gapsRemain);
    EXPECT_EQ(1000u, r.written);
    EXPECT_EQ(1000, fetch.file->getTransferred());
    EXPECT_FALSE(fetch.file->overlaps(PART - 1000, PART));
    EXPECT_EQ(3000u, fetch.file->bytesIn(PART, size));
    fetch.file->close();
    r = fetch.file->writeBlock(content.data() + PART, 3000, PART, size);
    EXPECT_FALSE(r.diskFailed);
    EXPECT_EQ(3000u, r.written);
    EXPECT_FALSE(fetch.file->overlaps(PART, size));
}

TEST(PartialFile, NoJoinWithoutRoomForIt) {
    CapturedUI ui;
    TransferDirs dirs;
    std::vector<uint8_t> content = randomBytes(2 * CRUMB, 16);
    std::unique_ptr<FileMeta> record(recordOf(content, "room.bin", dirs.root.path));
    Fetch fetch(PER_PART, record.get());
    fetch.deliver(content, 0, 2 * CRUMB);
    ASSERT_TRUE(fetch.file->saveInfo(1, false));
    theTransferOptions.resHD = 1ull << 62;
    bool done = fetch.finish();
    theTransferOptions.resHD = TransferOptions::DEFAULT_RESERVE;
    EXPECT_FALSE(done);
    EXPECT_TRUE(fetch.file->needsSpace());
    EXPECT_TRUE(isFile(fetch.file->metPath().c_str()));
    EXPECT_TRUE(fetch.finish());
}

// The record goes only once the finished file is in incoming: while it cannot
// move there, the data and the record stay, and a later try finishes.
TEST(PartialFile, AFinishedFileThatCannotMoveKeepsItsDataAndRecord) {
    for (Layout layout : {SINGLE, PER_PART}) {
        SCOPED_TRACE(layoutName(layout));
        CapturedUI ui;
        TransferDirs dirs;
        const uint32_t size = PART + 1000;
        std::vector<uint8_t> content = randomBytes(size, 18);
        std::unique_ptr<FileMeta> record(recordOf(content, "kept.bin", dirs.root.path));
        Fetch fetch(layout, record.get());
        fetch.deliver(content, 0, size);
        ASSERT_TRUE(fetch.file->saveInfo(1, false));
        std::string met = fetch.file->metPath().c_str();
        // Nothing can be put into an "incoming" that is a plain file.
        rmdir(dirs.incoming.c_str());
        writeText(dirs.incoming, "");
        EXPECT_FALSE(fetch.finish());
        EXPECT_EQ(PartialFile::ACTIVE, fetch.file->getState());
        EXPECT_TRUE(fetch.file->needsSpace());
        EXPECT_TRUE(isFile(met));
        const std::string whole(content.begin(), content.end());
        if (layout == SINGLE) {
            EXPECT_BYTES_EQ(whole, bytesOf(dirs.temp + "/" +
                                           std::to_string(fetch.file->getNumber()) + ".part"));
        } else {
            std::string dir = fetch.file->tempDir().c_str();
            std::string n = std::to_string(fetch.file->getNumber());
            EXPECT_BYTES_EQ(whole.substr(0, PART), bytesOf(dir + n + ".1.part"));
            EXPECT_BYTES_EQ(whole.substr(PART), bytesOf(dir + n + ".2.part"));
        }
        unlink(dirs.incoming.c_str());
        mkdir(dirs.incoming.c_str(), 0777);
        ASSERT_TRUE(fetch.finish()) << ui.text();
        EXPECT_BYTES_EQ(whole, bytesOf(dirs.incoming + "/kept.bin"));
        EXPECT_FALSE(isFile(met));
    }
}

// A move to another file system copies; the source directory is on /dev/shm.
TEST(PartialFile, FinishedFileMovesAcrossFileSystems) {
    for (Layout layout : {SINGLE, PER_PART}) {
        CapturedUI ui;
        TransferDirs dirs("/dev/shm");
        TempDir work;
        theTransferOptions.setIncoming(work.path.c_str());
        std::vector<uint8_t> content = randomBytes(CRUMB + 17, 17);
        std::unique_ptr<FileMeta> record(recordOf(content, "far.bin", dirs.root.path));
        Fetch fetch(layout, record.get());
        fetch.deliver(content, 0, (uint32_t)content.size());
        ASSERT_TRUE(fetch.finish()) << ui.text();
        EXPECT_BYTES_EQ(content, bytesOf(work / "far.bin"));
    }
}

// After a restart a part file that kept the time its record stored, and has
// no gap, counts as checked without being read; a touched one is hashed.
TEST(PartialFile, UnchangedPartFilesAreTrustedAfterARestart) {
    CapturedUI ui;
    TransferDirs dirs;
    const uint32_t size = 2 * PART + 1000;
    std::vector<uint8_t> content = randomBytes(size, 18);
    std::unique_ptr<FileMeta> record(recordOf(content, "keep.bin", dirs.root.path));
    Fetch fetch(PER_PART, record.get());
    fetch.deliver(content, 0, 2 * PART);
    std::string dir = fetch.file->tempDir().c_str();
    time_t old = time(nullptr) - 100;
    setTime(dir + "1.1.part", old);
    setTime(dir + "1.2.part", old);
    ASSERT_TRUE(fetch.file->saveInfo(1, false));
    std::string path = fetch.file->metPath().c_str();
    fetch.file->release();
    fetch.file = nullptr;
    // Part 1 changes on disk but keeps its time; part 2's time changes.
    std::string first = bytesOf(dir + "1.1.part");
    first[0] ^= 1;
    writeText(dir + "1.1.part", first);
    setTime(dir + "1.1.part", old);
    setTime(dir + "1.2.part", old + 5);
    FileMeta stored;
    ASSERT_EQ(PartialFile::VERSION_PARTS, PartMetFile::read(path.c_str(), stored));
    fetch.file = fetch.make();
    ASSERT_TRUE(fetch.file->load(&stored, 1));
    EXPECT_TRUE(fetch.file->isPartDone(0)) << "trusted without reading";
    EXPECT_FALSE(fetch.file->isPartDone(1));
    fetch.file->verify();
    EXPECT_TRUE(fetch.file->isPartDone(1));
}

TEST(PartialFile, CancelRemovesEveryFile) {
    for (Layout layout : {SINGLE, PER_PART}) {
        TransferDirs dirs;
        std::vector<uint8_t> content = randomBytes(PART + 10, 19);
        std::unique_ptr<FileMeta> record(recordOf(content, "gone.bin", dirs.root.path));
        Fetch fetch(layout, record.get());
        fetch.deliver(content, 0, 1000);
        fetch.deliver(content, PART, PART + 10);
        ASSERT_TRUE(fetch.file->saveInfo(1, false));
        fetch.file->deleteFiles();
        i4_dir_listing listing;
        ASSERT_TRUE(i4_list_directory(dirs.temp.c_str(), listing, false));
        EXPECT_TRUE(listing.file_names.empty())
            << layoutName(layout) << ": " << listing.file_names[0].c_str();
        EXPECT_EQ(2u, listing.dir_names.size()) << layoutName(layout);
    }
}

// The record's bytes, written out field by field from the layout.
class RecordBytes {
public:
    RecordBytes& u8(uint8_t v) {
        b.push_back((char)v);
        return *this;
    }
    RecordBytes& u16(uint16_t v) { return u8((uint8_t)v).u8((uint8_t)(v >> 8)); }
    RecordBytes& u32(uint32_t v) { return u16((uint16_t)v).u16((uint16_t)(v >> 16)); }
    RecordBytes& raw(const std::string& s) {
        b += s;
        return *this;
    }
    RecordBytes& intTag(const std::string& name, int32_t v) {
        return u8(3).u16((uint16_t)name.size()).raw(name).u32((uint32_t)v);
    }
    RecordBytes& stringTag(const std::string& name, const std::string& v) {
        return u8(2).u16((uint16_t)name.size()).raw(name).u16((uint16_t)v.size()).raw(v);
    }
    std::string b;
};

std::string pattern(size_t n, uint8_t from) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) s[i] = (char)(uint8_t)(from + i * 7);
    return s;
}

// The ".part.met" of both layouts, byte for byte, against the files kept in
// tests/data/transfer, and read back whole.
TEST(PartialFile, RecordBytesOfBothLayouts) {
    const uint32_t size = PART + 100;  // two parts, 21 crumbs
    const uint32_t fileTime = 1000000000, dirTime = 1100000000;
    const uint32_t part1Time = 1200000000, part2Time = 1300000000;
    std::string partHashes = pattern(32, 0x40), crumbHashes = pattern(21 * 8, 0x80);
    uint8_t fileHash[16];
    MD4::digest(partHashes.data(), partHashes.size(), fileHash);
    for (Layout layout : {SINGLE, PER_PART}) {
        SCOPED_TRACE(layoutName(layout));
        TransferDirs dirs;
        FileMeta record;
        record.setName("golden.bin");
        record.setFileSize(size);
        record.setFileHash(fileHash);
        record.setPartHashes((const uint8_t*)partHashes.data(), 2);
        record.setCrumbHashes((const uint8_t*)crumbHashes.data(), 21);
        Fetch fetch(layout, &record);
        std::vector<uint8_t> data(size, 0x33);
        fetch.deliver(data, 0, 1000);  // no crumb becomes whole: nothing is checked
        fetch.deliver(data, PART, PART + 50);
        std::string dir = fetch.file->tempDir().c_str();
        if (layout == SINGLE) {
            setTime(dirs.temp + "/1.part", fileTime);
        } else {
            setTime(dirs.temp, dirTime);
            setTime(dir + "1.1.part", part1Time);
            setTime(dir + "1.2.part", part2Time);
        }
        ASSERT_TRUE(fetch.file->saveInfo(2, true));
        std::string path = fetch.file->metPath().c_str();
        EXPECT_EQ(layout == SINGLE ? dirs.temp + "/1.part.met" : dir + "1.part.met", path);

        RecordBytes want;
        want.u8(layout == SINGLE ? 0xE0 : 0xE1).u8(2).u32(layout == SINGLE ? fileTime : dirTime);
        want.raw(std::string((const char*)fileHash, 16));
        want.u32(layout == SINGLE ? 10 : 12);
        want.stringTag("\x01", "golden.bin").intTag("\x02", (int32_t)size);
        want.intTag("\x08", 1050).stringTag("\x12", layout == SINGLE ? "1.part" : "");
        want.intTag("\x18", 2).intTag("\x14", 1);
        if (layout == PER_PART)
            want.intTag("0mod", (int32_t)part1Time).intTag("1mod", (int32_t)part2Time);
        want.intTag(
                "\x09"
                "0",
                1000)
            .intTag(
                "\x0a"
                "0",
                (int32_t)PART);
        want.intTag(
                "\x09"
                "1",
                (int32_t)PART + 50)
            .intTag(
                "\x0a"
                "1",
                (int32_t)size);
        want.u8(1).raw(partHashes).u8(1).raw(crumbHashes);
        std::string saved = bytesOf(path);
        EXPECT_EQ(want.b, saved);
        std::string golden = bytesOf(std::string(TORNAVEL_TEST_DATA "/transfer/") +
                                     (layout == SINGLE ? "single.part.met" : "per-part.part.met"));
        EXPECT_EQ(golden, saved);

        FileMeta back;
        ASSERT_EQ(layout == SINGLE ? 0xE0 : 0xE1, PartMetFile::read(path.c_str(), back));
        EXPECT_STREQ("golden.bin", back.getName());
        EXPECT_TRUE(back.hasPartHashes());
        EXPECT_TRUE(back.hasCrumbHashes());
        EXPECT_EQ(1, back.getSpecialInt(SpecialTagInfo::STATE));
    }
}

// A record that is missing or damaged gives way to a whole ".bak" beside it.
TEST(PartialFile, ABackupStandsInForAMissingOrDamagedRecord) {
    CapturedOutput damage;
    CapturedUI ui;
    TransferDirs dirs;
    FileMeta record;
    record.setName("b.bin");
    record.setFileSize(1000);
    Fetch fetch(SINGLE, &record);
    ASSERT_TRUE(fetch.file->saveInfo(1, false));
    std::string path = fetch.file->metPath().c_str();
    std::string good = bytesOf(path);
    for (const std::string& damaged :
         {std::string(), good.substr(0, good.size() - 3), std::string("\xE0\x02")}) {
        writeText(path + ".bak", good);
        if (damaged.empty())
            remove(path.c_str());
        else
            writeText(path, damaged);
        FileMeta back;
        EXPECT_EQ(0xE0, PartMetFile::read(path.c_str(), back)) << damaged.size();
        EXPECT_STREQ("b.bin", back.getName());
        EXPECT_EQ(path, back.getPath());
    }
    remove((path + ".bak").c_str());
    writeText(path, "\xE0\x01");
    FileMeta none;
    EXPECT_EQ(0, PartMetFile::read(path.c_str(), none));
    EXPECT_NE(std::string::npos, damage.all().find("ERROR: Meta::fromDisk()"));
}

}  // namespace
