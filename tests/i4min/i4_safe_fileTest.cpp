#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TempDir.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/string/i4_err.h"
#include "support/ChildProcess.h"
#include "support/Waiting.h"

namespace {

void put(i4_file* f, const std::string& s) {
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->write(s.data(), static_cast<int32_t>(s.size())), static_cast<int32_t>(s.size()));
}

std::string readAllOf(i4_file* f) {
    std::string out;
    char buf[256];
    int32_t n;
    while ((n = f->read(buf, sizeof buf)) > 0) out.append(buf, n);
    return out;
}

// Every entry of the directory, sorted, "." and ".." left out.
std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (struct dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SafeFile, WritingTable) {
    const struct {
        const char* what;
        const char* old;  // null: no file yet
        int flags;
        const char* written;
        const char* result;
    } cases[] = {
        {"new file", nullptr, I4_WRITE | I4_TRUNCATE, "hello", "hello"},
        {"replace", "old content", I4_WRITE | I4_TRUNCATE, "new", "new"},
        {"replace with nothing", "old content", I4_WRITE | I4_TRUNCATE, "", ""},
        {"update in place", "0123456789", I4_WRITE, "ab", "ab23456789"},
        {"append", "0123", I4_WRITE | I4_APPEND, "45", "012345"},
        {"read and write", "0123", I4_READ | I4_WRITE, "xy", "xy23"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string name = dir / "state.met";
        if (c.old) writeText(name, c.old);
        {
            i4_safe_file f(name.c_str(), c.flags);
            put(f.get(), c.written);
            // Until the hand-over the old file stands as it was.
            if (c.old)
                EXPECT_EQ(readText(name), c.old);
            else
                EXPECT_FALSE(fileExists(name));
            EXPECT_TRUE(f.close());
            EXPECT_EQ(f.get(), nullptr);
        }
        EXPECT_EQ(readText(name), c.result);
        EXPECT_FALSE(fileExists(name + ".bak"));
    }
}

TEST(SafeFile, DestructorHandsOverToo) {
    TempDir dir;
    std::string name = dir / "pref.met";
    writeText(name, "old");
    {
        i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
        put(f.get(), "newer");
    }
    EXPECT_EQ(readText(name), "newer");
    EXPECT_FALSE(fileExists(name + ".bak"));
}

TEST(SafeFile, WritersOfOneNameTakeTurns) {
    TempDir dir;
    std::string name = dir / "server.met";
    writeText(name, "old");
    std::atomic<bool> opened{false};
    std::thread second;
    {
        i4_safe_file first(name.c_str(), I4_WRITE | I4_TRUNCATE);
        second = std::thread([&] {
            // An update: it starts from the content that stands when its turn comes.
            i4_safe_file f(name.c_str(), I4_WRITE);
            opened = true;
            f.get()->seek(f.get()->size());
            put(f.get(), "+second");
        });
        // What must not happen while the first writer holds the name: a short look.
        EXPECT_FALSE(waitUntil([&] { return opened.load(); }, 300));
        put(first.get(), "first");
        EXPECT_TRUE(first.close());
    }
    second.join();
    EXPECT_EQ(readText(name), "first+second");
}

TEST(SafeFile, WriterLeftByAnExceptionKeepsTheOldFile) {
    const struct {
        const char* what;
        const char* old;  // null: no file yet
    } cases[] = {{"replacing", "the whole old list"}, {"first save", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string name = dir / "known.met";
        if (c.old) writeText(name, c.old);
        try {
            i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
            put(f.get(), "first record, ");
            throw i4_err("write string error");  // a record that cannot be stored
        } catch (const i4_err&) {
        }
        if (c.old)
            EXPECT_EQ(readText(name), c.old);
        else
            EXPECT_FALSE(fileExists(name));
        EXPECT_FALSE(fileExists(name + ".bak"));
    }

    // A safe file made while another exception unwinds still saves normally.
    TempDir dir;
    std::string name = dir / "pref.met";
    struct SavesOnUnwind {
        std::string name;
        ~SavesOnUnwind() {
            i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
            if (f.get()) f.get()->write("saved", 5);
        }
    };
    try {
        SavesOnUnwind s{name};
        throw i4_err("elsewhere");
    } catch (const i4_err&) {
    }
    EXPECT_EQ(readText(name), "saved");
}

TEST(SafeFile, ReadingTable) {
    const struct {
        const char* what;
        const char* file;  // null: missing
        const char* bak;
        const char* read;  // null: nothing opened
    } cases[] = {
        {"file", "current", nullptr, "current"},
        {"file wins over a stale .bak", "current", "stale", "current"},
        {"missing file falls back to .bak", nullptr, "saved", "saved"},
        {"neither", nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string name = dir / "server.met";
        if (c.file) writeText(name, c.file);
        if (c.bak) writeText(name + ".bak", c.bak);
        i4_safe_file f(name.c_str(), I4_READ);
        if (!c.read) {
            EXPECT_EQ(f.get(), nullptr);
            continue;
        }
        ASSERT_NE(f.get(), nullptr);
        EXPECT_EQ(readAllOf(f.get()), c.read);
        EXPECT_TRUE(f.close());
        // Reading moves nothing.
        EXPECT_EQ(fileExists(name), c.file != nullptr);
        EXPECT_EQ(fileExists(name + ".bak"), c.bak != nullptr);
    }
}

TEST(SafeFile, NullNameAndUnopenableName) {
    i4_safe_file none(nullptr, I4_WRITE);
    EXPECT_EQ(none.get(), nullptr);

    TempDir dir;
    i4_safe_file bad((dir / "no/such/dir/x").c_str(), I4_WRITE | I4_TRUNCATE);
    EXPECT_EQ(bad.get(), nullptr);
    EXPECT_FALSE(bad.close());
}

TEST(SafeFile, ChildKilledMidWriteLeavesTheOldFile) {
    TempDir dir;
    std::string name = dir / "known.met";
    std::string old(5000, 'o');
    writeText(name, old);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
        std::string part(3000, 'n');
        if (!f.get() || f.get()->write(part.data(), 3000) != 3000) _exit(2);
        if (write(ready[1], "x", 1) != 1) _exit(3);
        for (;;) pause();  // killed here, half-way through the new content
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int status;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(readText(name), old);
    i4_safe_file reader(name.c_str(), I4_READ);
    ASSERT_NE(reader.get(), nullptr);
    EXPECT_EQ(readAllOf(reader.get()), old);

    // The next save goes through whole despite the leftover.
    {
        i4_safe_file again(name.c_str(), I4_WRITE | I4_TRUNCATE);
        put(again.get(), "complete");
        EXPECT_TRUE(again.close());
    }
    EXPECT_EQ(readText(name), "complete");
    EXPECT_FALSE(fileExists(name + ".bak"));
}

// Exit codes of the failing writer.
enum { REPORTED = 10, NOT_REPORTED = 11, NO_FILE = 12 };

// A full disk: the old file, and a ".bak" that may be the only good copy,
// stay as they were and the failure is reported. A later save that succeeds
// makes the ".bak" needless.
TEST(SafeFile, FailingWritesKeepTheOldFilesAndAreReported) {
    const struct {
        const char* what;
        const char* bak;  // null: none
    } cases[] = {{"a plain save", nullptr},
                 {"the file damaged, a good .bak", "the only good copy"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string name = dir / "friend.met";
        std::string old = "the previous list";
        writeText(name, old);
        if (c.bak) writeText(name + ".bak", c.bak);
        std::vector<std::string> before = entries(dir.path);

        ChildOptions fullDisk;
        fullDisk.fileSizeLimit = 4096;
        int code = exitStatusOfChild(fullDisk, [&] {
            i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
            if (!f.get()) return (int)NO_FILE;
            std::string big(10000, 'n');
            for (int i = 0; i < 3; i++)
                f.get()->write(big.data(), static_cast<int32_t>(big.size()));
            return f.close() || !f.error() ? (int)NOT_REPORTED : (int)REPORTED;
        });
        EXPECT_EQ(code, REPORTED);
        EXPECT_EQ(readText(name), old);
        if (c.bak) {
            EXPECT_EQ(readText(name + ".bak"), c.bak);
        }
        EXPECT_EQ(entries(dir.path), before);

        {
            i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
            put(f.get(), "new");
            ASSERT_TRUE(f.close());
        }
        EXPECT_EQ(entries(dir.path), std::vector<std::string>{"friend.met"});
        EXPECT_EQ(readText(name), "new");
    }
}

TEST(SafeFile, ADamagedFileIsGivenUpForTheBackup) {
    TempDir dir;
    std::string name = dir / "server.met";
    writeText(name, "cut sho");
    i4_safe_file f(name.c_str(), I4_READ);
    ASSERT_NE(f.get(), nullptr);
    EXPECT_FALSE(f.reading_backup());
    EXPECT_FALSE(f.use_backup()) << "there is no backup";
    EXPECT_EQ(f.get(), nullptr);

    writeText(name + ".bak", "whole");
    i4_safe_file g(name.c_str(), I4_READ);
    EXPECT_EQ(readAllOf(g.get()), "cut sho");
    ASSERT_TRUE(g.use_backup());
    EXPECT_TRUE(g.reading_backup());
    EXPECT_EQ(readAllOf(g.get()), "whole");
    EXPECT_EQ(g.error(), nullptr);
    EXPECT_FALSE(g.use_backup()) << "the backup is damaged too";
    EXPECT_EQ(g.get(), nullptr);
}

// Something under the name that cannot be read as a file: reading passes over
// it to the backup (never blocking on a FIFO), and a save never replaces it.
TEST(SafeFile, WhatCannotBeReadIsNeverReplaced) {
    const struct {
        const char* what;
        void (*make)(const std::string& name);
    } cases[] = {
        {"a directory", [](const std::string& n) { ASSERT_EQ(mkdir(n.c_str(), 0755), 0); }},
        {"a FIFO", [](const std::string& n) { ASSERT_EQ(mkfifo(n.c_str(), 0644), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string name = dir / "pref.met";
        c.make(name);
        {
            i4_safe_file f(name.c_str(), I4_READ);
            EXPECT_EQ(f.get(), nullptr);
            ASSERT_NE(f.error(), nullptr);
        }
        writeText(name + ".bak", "good");
        {
            i4_safe_file f(name.c_str(), I4_READ);
            ASSERT_NE(f.get(), nullptr);
            EXPECT_TRUE(f.reading_backup());
            EXPECT_EQ(readAllOf(f.get()), "good");
            EXPECT_NE(f.error(), nullptr) << "the reader is told why the file was passed over";
        }
        {
            i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
            EXPECT_EQ(f.get(), nullptr);
            EXPECT_FALSE(f.close());
            EXPECT_NE(f.error(), nullptr);
        }
        struct stat st;
        ASSERT_EQ(lstat(name.c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode));
        EXPECT_EQ(readText(name + ".bak"), "good");
        EXPECT_EQ(entries(dir.path), (std::vector<std::string>{"pref.met", "pref.met.bak"}));
    }
}

// Exit codes of the unprivileged child.
enum { KEPT_OUT = 20, READ_BACKUP, SAVE_REFUSED, ALL_WELL };

TEST(SafeFile, AFileWithoutReadPermissionIsNeverReplaced) {
    TempDir dir;
    std::string name = dir / "pref.met";
    writeText(name, "someone else's settings");
    ASSERT_EQ(chmod(name.c_str(), 0), 0);
    writeText(name + ".bak", "good");
    ChildOptions withoutRights;
    withoutRights.unprivileged = true;
    withoutRights.directory = dir.path.c_str();
    int code = exitStatusOfChild(withoutRights, [&] {
        {
            i4_safe_file f(name.c_str(), I4_READ);
            if (!f.reading_backup() || !f.error()) return (int)KEPT_OUT;
            if (readAllOf(f.get()) != "good") return (int)READ_BACKUP;
        }
        i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
        if (f.get() || f.close() || !f.error()) return (int)SAVE_REFUSED;
        return (int)ALL_WELL;
    });
    EXPECT_EQ(code, ALL_WELL);
    chmod(name.c_str(), 0644);
    EXPECT_EQ(readText(name), "someone else's settings");
    EXPECT_EQ(readText(name + ".bak"), "good");
}

TEST(SafeFile, LeftoversOfAKilledWriterGoWhenTheFileIsRead) {
    TempDir dir;
    std::string name = dir / "known.met";
    writeText(name, "old");
    writeText(name + ".tmp-ab12cd", "half");
    writeText(name + ".tmp-notmine", "not a leftover of ours");
    writeText(dir / "other.met.tmp-ab12cd", "another file's");
    {
        i4_safe_file f(name.c_str(), I4_READ);
        EXPECT_EQ(readAllOf(f.get()), "old");
    }
    EXPECT_EQ(entries(dir.path), (std::vector<std::string>{"known.met", "known.met.tmp-notmine",
                                                           "other.met.tmp-ab12cd"}));
}

// A base directory deeper than any fixed buffer of old: the backup beside a
// long name is found, and a name past the system's limit is refused whole,
// never cut into another name.
TEST(SafeFile, LongNames) {
    TempDir dir;
    std::string deep = dir.path;
    while (deep.size() < 3000) {
        deep += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    std::string name = deep + "/pref.met";
    writeText(name + ".bak", "good");
    {
        i4_safe_file f(name.c_str(), I4_READ);
        ASSERT_NE(f.get(), nullptr);
        EXPECT_EQ(readAllOf(f.get()), "good");
    }
    {
        i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
        put(f.get(), "saved");
        EXPECT_TRUE(f.close());
    }
    EXPECT_EQ(readText(name), "saved");
    EXPECT_FALSE(fileExists(name + ".bak"));

    std::string tooLong = deep;
    while (tooLong.size() <= 4200) tooLong += "/" + std::string(250, 'x');
    ASSERT_GT(tooLong.size(), 4096u);
    errno = 0;
    EXPECT_EQ(i4_open(tooLong.c_str(), I4_WRITE | I4_TRUNCATE), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    i4_safe_file f(tooLong.c_str(), I4_WRITE | I4_TRUNCATE);
    EXPECT_EQ(f.get(), nullptr);
    EXPECT_FALSE(f.close());
}

}  // namespace
