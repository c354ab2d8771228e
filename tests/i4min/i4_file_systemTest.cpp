#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_ram_file_class.h"
#include "support/ByteCompare.h"

namespace {

std::string osName(const char* name, int n = 4096) {
    char buf[4096];
    return i4_os_name(name, buf, n);
}

TEST(FileSystem, NameTranslationTable) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"x:/share/a.txt", "/u/share/a.txt"},
        {"c:/temp/a", "/temp/a"},
        {"c:\\temp\\a", "/temp/a"},
        {"dir\\file", "dir/file"},
        {"C:/a", "C:/a"},  // upper-case drive letters stay
        {"X:/a", "X:/a"},
        {"Remix: Live.mp3", "Remix: Live.mp3"},  // only at the start
        {"music/Remix: Live.mp3", "music/Remix: Live.mp3"},
        {"abc:/d", "abc:/d"},
        {"x:", "/u"},
        {"c:", "c:"},
        {"plain/name", "plain/name"},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(osName(c.in), c.out) << (c.in ? c.in : "(null)");
}

TEST(FileSystem, NameTranslationStaysInsideTheBuffer) {
    char buf[6];
    memset(buf, 'Z', sizeof buf);
    i4_os_name("x:/share", buf, 5);
    EXPECT_STREQ(buf, "/u/s");
    EXPECT_EQ(buf[5], 'Z');
    i4_os_name("c:/abcdef", buf, 3);
    EXPECT_STREQ(buf, "/a");
}

// What each flag combination opens: read allowed, write allowed, whether a
// missing file is made, whether old content is emptied, and where writes go.
TEST(FileSystem, FlagBitsToOpenModes) {
    const struct {
        int flags;
        bool opensMissing;
        bool canRead, canWrite, emptied, appends;
    } cases[] = {
        {I4_READ, false, true, false, false, false},
        {I4_WRITE, true, false, true, false, false},
        {I4_READ | I4_WRITE, true, true, true, false, false},
        {I4_WRITE | I4_APPEND, true, false, true, false, true},
        {I4_WRITE | I4_TRUNCATE, true, false, true, true, false},
        {I4_READ | I4_WRITE | I4_TRUNCATE, true, true, true, true, false},
        {I4_READ | I4_TRUNCATE, false, true, false, false, false},  // truncate needs write
        {I4_READ | 0x100, false, true, false, false, false},        // other bits ignored
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        std::string missing = dir / ("missing" + std::to_string(c.flags));
        i4_file* f = i4_open(missing.c_str(), c.flags);
        EXPECT_EQ(f != nullptr, c.opensMissing);
        delete f;
        EXPECT_EQ(fileExists(missing), c.opensMissing);

        std::string name = dir / ("file" + std::to_string(c.flags));
        writeText(name, "0123456789");
        f = i4_open(name.c_str(), c.flags);
        ASSERT_NE(f, nullptr);
        char buf[4] = {};
        EXPECT_EQ(f->read(buf, 3) == 3, c.canRead && !c.emptied);
        f->seek(0);
        EXPECT_EQ(f->write("ab", 2) == 2, c.canWrite);
        delete f;
        std::string want = "0123456789";
        if (c.emptied) want = "";
        if (c.canWrite) {
            if (c.appends)
                want += "ab";
            else
                want.replace(0, 2, "ab");
        }
        EXPECT_EQ(readText(name), want);
    }
    EXPECT_EQ(i4_open((dir / "none").c_str(), 0), nullptr);
    EXPECT_EQ(i4_open((dir / "none").c_str(), I4_APPEND | I4_TRUNCATE), nullptr);
    EXPECT_EQ(i4_open(nullptr, I4_READ), nullptr);
}

int hookCalls = 0;

i4_file* supplyForVirtual(const char* name, int) {
    hookCalls++;
    if (std::string(name).find("virtual:") != 0) return nullptr;
    static char buf[8] = "hooked";
    return new i4_ram_file_class(buf, 6, 0);
}

i4_file* supplyAfterFailure(const char* name, int) {
    hookCalls += 100;
    return std::string(name).find("/fallback") != std::string::npos
               ? supplyForVirtual("virtual:", 0)
               : nullptr;
}

TEST(FileSystem, OpenHooksMaySupplyAFile) {
    TempDir dir;
    writeText(dir / "real", "disk");
    i4_set_open_hooks(supplyForVirtual, supplyAfterFailure);
    hookCalls = 0;
    i4_file* f = i4_open("virtual:x", I4_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), 6);
    delete f;
    EXPECT_EQ(hookCalls, 1);

    f = i4_open((dir / "real").c_str(), I4_READ);  // asked before, not after
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), 4);
    delete f;
    EXPECT_EQ(hookCalls, 2);

    f = i4_open((dir / "fallback").c_str(), I4_READ);  // missing: the second hook answers
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), 6);
    delete f;
    EXPECT_EQ(i4_open((dir / "missing").c_str(), I4_READ), nullptr);
    i4_set_open_hooks(nullptr, nullptr);
    EXPECT_EQ(i4_open("virtual:x", I4_READ), nullptr);
}

TEST(FileSystem, OpenTranslatesBackslashes) {
    TempDir dir;
    std::string winName = dir.path + "\\sub\\a.txt";
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0777), 0);
    i4_file* f = i4_open(winName.c_str(), I4_WRITE);
    ASSERT_NE(f, nullptr);
    f->write("hi", 2);
    delete f;
    EXPECT_EQ(readText(dir / "sub/a.txt"), "hi");
    EXPECT_EQ(i4_unlink(winName.c_str()), 1);
    EXPECT_FALSE(fileExists(dir / "sub/a.txt"));
}

TEST(FileSystem, NewFilesAreNotExecutable) {
    TempDir dir;
    const mode_t masks[] = {022, 077, 0};
    for (mode_t mask : masks) {
        mode_t old = umask(mask);
        std::string name = dir / ("m" + std::to_string(mask));
        delete i4_open(name.c_str(), I4_WRITE | I4_TRUNCATE);
        umask(old);
        struct stat st;
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << std::oct << mask;
    }
}

TEST(FileSystem, RenameAcrossFileSystemsCopiesAndRemovesTheSource) {
    TempDir shm("/dev/shm");
    TempDir work(".");
    struct stat a, b;
    ASSERT_EQ(stat(shm.path.c_str(), &a), 0);
    ASSERT_EQ(stat(work.path.c_str(), &b), 0);
    if (a.st_dev == b.st_dev) GTEST_SKIP() << "/dev/shm is not a file system of its own here";

    std::string content;
    for (int i = 0; i < 100000; i++) content += static_cast<char>(i * 7 + i / 256);
    std::string from = shm / "source.bin", to = work / "target.bin";
    writeText(from, content);
    writeText(to, std::string(300000, 'x'));  // a longer old target is replaced whole
    EXPECT_EQ(i4_rename(from.c_str(), to.c_str()), 0);
    EXPECT_FALSE(fileExists(from));
    EXPECT_BYTES_EQ(content, readText(to));

    // Back again through i4_move, whose answer is "failed".
    EXPECT_FALSE(i4_move(to.c_str(), from.c_str()));
    EXPECT_BYTES_EQ(content, readText(from));
    EXPECT_FALSE(fileExists(to));

    // A target that cannot be made leaves the source whole.
    EXPECT_EQ(i4_rename(from.c_str(), (work / "no/such/dir/x").c_str()), 1);
    EXPECT_BYTES_EQ(content, readText(from));
}

// On one file system and across two: a free name takes the file, a taken one
// is never replaced, and the source stays whole unless it moved.
TEST(FileSystem, RenameNoReplace) {
    TempDir shm("/dev/shm");
    TempDir work(".");
    for (const TempDir* target : {&shm, &work}) {
        SCOPED_TRACE(target->path);
        std::string from = shm / "from.bin", free = *target / "free.bin",
                    taken = *target / "taken.bin";
        std::string content(70000, 'c');
        writeText(from, content);
        writeText(taken, "keep me");
        EXPECT_EQ(i4_rename_no_replace(from.c_str(), taken.c_str()), 2);
        EXPECT_EQ(readText(taken), "keep me");
        EXPECT_BYTES_EQ(content, readText(from));
        EXPECT_EQ(i4_rename_no_replace(from.c_str(), free.c_str()), 0);
        EXPECT_BYTES_EQ(content, readText(free));
        EXPECT_FALSE(fileExists(from));
        EXPECT_EQ(i4_rename_no_replace(from.c_str(), (*target / "other.bin").c_str()), 1);
        EXPECT_EQ(i4_rename_no_replace(free.c_str(), (*target / "no/dir/x").c_str()), 1);
        EXPECT_BYTES_EQ(content, readText(free));
        unlink(free.c_str());
        unlink(taken.c_str());
    }
}

TEST(FileSystem, RenameFailures) {
    TempDir dir;
    EXPECT_EQ(i4_rename((dir / "missing").c_str(), (dir / "x").c_str()), 1);
    EXPECT_TRUE(i4_move((dir / "missing").c_str(), (dir / "x").c_str()));
    writeText(dir / "a", "A");
    EXPECT_EQ(i4_rename((dir / "a").c_str(), (dir / "b").c_str()), 0);
    EXPECT_EQ(readText(dir / "b"), "A");
}

TEST(FileSystem, CopyStreamChunksAndLimits) {
    TempDir dir;
    std::string content(100000, 'q');
    writeText(dir / "src", content);
    const struct {
        int64_t limit;
        size_t expect;
    } cases[] = {{-1, 100000}, {0, 0}, {40960, 40960}, {99999, 99999}, {200000, 100000}};
    for (const auto& c : cases) {
        i4_file* from = i4_open((dir / "src").c_str(), I4_READ);
        i4_file* to = i4_open((dir / "dst").c_str(), I4_WRITE | I4_TRUNCATE);
        ASSERT_TRUE(from && to);
        int64_t copied = -5;
        EXPECT_TRUE(i4_copy_stream(*from, *to, c.limit, &copied));
        EXPECT_EQ(copied, static_cast<int64_t>(c.expect));
        delete from;
        delete to;
        EXPECT_EQ(readText(dir / "dst").size(), c.expect) << c.limit;
    }
}

TEST(FileSystem, AppendFile) {
    TempDir dir;
    std::string a = dir / "a", b = dir / "b";
    std::string tail(90000, 'b');
    writeText(a, "head");
    writeText(b, tail);
    EXPECT_TRUE(i4_append_file(a.c_str(), b.c_str()));
    EXPECT_BYTES_EQ("head" + tail, readText(a));
    EXPECT_BYTES_EQ(tail, readText(b));
    EXPECT_FALSE(i4_append_file(a.c_str(), (dir / "missing").c_str()));
    EXPECT_BYTES_EQ("head" + tail, readText(a));
    EXPECT_FALSE(i4_append_file((dir / "nodir/x").c_str(), b.c_str()));
}

TEST(FileSystem, AFileIsNeverJoinedOrCutOntoItself) {
    TempDir dir;
    std::string a = dir / "a";
    std::string same[] = {a, dir / "./a", dir / "link"};
    writeText(a, "0123456789");
    ASSERT_EQ(symlink(a.c_str(), (dir / "link").c_str()), 0);
    for (const std::string& other : same) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(i4_append_file(a.c_str(), other.c_str()));
        EXPECT_EQ(i4_cut_tail(a.c_str(), other.c_str(), 4), 0);
        EXPECT_EQ(readText(a), "0123456789");
    }
}

TEST(FileSystem, CutTailTable) {
    const struct {
        const char* what;
        int64_t n;
        bool bExists;
        int result;
        const char* aAfter;  // null: a is gone
        const char* bAfter;  // null: b untouched
    } cases[] = {
        {"splits", 4, true, 1, "012345", "6789"},
        {"whole file renames", 10, false, 1, nullptr, "0123456789"},
        {"whole file replaces b", 10, true, 1, nullptr, "0123456789"},
        {"too much is refused", 11, true, 0, "0123456789", nullptr},
        {"negative is refused", -1, true, 0, "0123456789", nullptr},
        {"nothing", 0, true, 1, "0123456789", ""},
        {"one byte, longer b", 1, true, 1, "012345678", "9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string a = dir / "a.part", b = dir / "b.part";
        writeText(a, "0123456789");
        if (c.bExists) writeText(b, "old content of b that is long");
        EXPECT_EQ(i4_cut_tail(a.c_str(), b.c_str(), c.n), c.result);
        if (c.aAfter) {
            EXPECT_EQ(readText(a), c.aAfter);
        } else {
            EXPECT_FALSE(fileExists(a));
        }
        if (c.bAfter) {
            EXPECT_EQ(readText(b), c.bAfter);
        } else if (c.bExists) {
            EXPECT_EQ(readText(b), "old content of b that is long");
        }
    }
    TempDir dir;
    EXPECT_EQ(i4_cut_tail((dir / "missing").c_str(), (dir / "b").c_str(), 0), 0);
    EXPECT_FALSE(fileExists(dir / "missing"));
}

TEST(FileSystem, DirectoriesTruncateUnlink) {
    TempDir dir;
    std::string d = dir / "d";
    EXPECT_EQ(i4_mkdir(d.c_str()), 1);
    EXPECT_EQ(i4_mkdir(d.c_str()), 0);
    struct stat st;
    ASSERT_EQ(stat(d.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07000, 0u) << "no set-id or sticky bits";
    writeText(d + "/f", "data");
    EXPECT_EQ(i4_rmdir(d.c_str()), 0);
    EXPECT_EQ(i4_truncate((d + "/f").c_str(), 2), 1);
    EXPECT_EQ(readText(d + "/f"), "da");
    EXPECT_EQ(i4_truncate((d + "/f").c_str(), 5), 1);
    EXPECT_EQ(readText(d + "/f"), std::string("da\0\0\0", 5));
    EXPECT_EQ(i4_truncate((d + "/g").c_str(), 5), 0);
    EXPECT_EQ(i4_unlink((d + "/f").c_str()), 1);
    EXPECT_EQ(i4_unlink((d + "/f").c_str()), 0);
    EXPECT_EQ(i4_rmdir(d.c_str()), 1);
}

TEST(FileSystem, FreeSpace) {
    TempDir dir;
    int64_t free = i4_free_space(dir.path.c_str());
    EXPECT_GT(free, 0);
    EXPECT_NE(free, I4_UNKNOWN_FREE_SPACE);
    EXPECT_EQ(i4_free_space((dir / "no/such").c_str()), 1099494785025LL);
}

TEST(FileSystem, Status) {
    TempDir dir;
    writeText(dir / "f", "12345");
    i4_file_status st = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(i4_get_status((dir / "f").c_str(), st), 1);
    EXPECT_EQ(st.size, 5);
    EXPECT_EQ(st.is_dir, 0);
    EXPECT_EQ(st.is_regular, 1);
    EXPECT_GT(st.modified, 1000000000);
    EXPECT_EQ(i4_get_status(dir.path.c_str(), st), 1);
    EXPECT_EQ(st.is_dir, 1);
    EXPECT_EQ(st.is_regular, 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(i4_get_status((dir / "pipe").c_str(), st), 1);
    EXPECT_EQ(st.is_dir, 0);
    EXPECT_EQ(st.is_regular, 0);

    i4_file_status missing = {7, 8, 9, 1, 10, 1};
    EXPECT_EQ(i4_get_status((dir / "none").c_str(), missing), 0);
    EXPECT_EQ(missing.is_dir, 0);
    EXPECT_EQ(missing.is_regular, 0);
    EXPECT_EQ(missing.modified, 7);
    EXPECT_EQ(missing.size, 10);
}

}  // namespace
