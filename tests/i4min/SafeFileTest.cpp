#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/string/i4_err.h"

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

TEST(SafeFile, FailingWritesKeepTheOldFileAndAreReported) {
    TempDir dir;
    std::string name = dir / "friend.met";
    std::string old = "the previous list";
    writeText(name, old);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file-size limit makes writes past 4 KiB fail, as a full disk would.
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        i4_safe_file f(name.c_str(), I4_WRITE | I4_TRUNCATE);
        if (!f.get()) _exit(NO_FILE);
        std::string big(10000, 'n');
        for (int i = 0; i < 3; i++) f.get()->write(big.data(), static_cast<int32_t>(big.size()));
        _exit(f.close() ? NOT_REPORTED : REPORTED);
    }
    int status;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), REPORTED);
    EXPECT_EQ(readText(name), old);
    EXPECT_FALSE(fileExists(name + ".bak"));
}

}  // namespace
