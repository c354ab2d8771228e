// The writer thread of the state files: the newest content of a name is what stands, a write
// that fails is said once and handed back for another try, and a stop drops what waits.
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>

#include "core/StateFileWriter.h"
#include "i4min/TempDir.h"
#include "i4min/threads/linux/i4_thread.h"
#include "support/CapturedUI.h"
#include "support/Waiting.h"

namespace {

std::string contentOf(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Waits until the file holds the content.
bool becomes(const std::string& path, const std::string& content) {
    return waitUntil([&] { return contentOf(path) == content; });
}

TEST(StateFileWriterTest, TheNewestContentOfANameStands) {
    TempDir dir;
    const std::string a = dir / "a.met", b = dir / "b.met";
    StateFileWriter writer;
    for (int i = 0; i < 200; i++) writer.write(a, "a" + std::to_string(i));
    writer.write(b, std::string("b\0b", 3));
    EXPECT_TRUE(becomes(a, "a199"));
    EXPECT_TRUE(becomes(b, std::string("b\0b", 3)));
    writer.stopWriting();
    EXPECT_EQ("a199", contentOf(a));
    EXPECT_TRUE(writer.takeFailed().empty());
}

TEST(StateFileWriterTest, AFailedWriteIsSaidOnceAndHandedBack) {
    CapturedUI ui;
    TempDir dir;
    // A directory stands where the file should be: never replaced.
    const std::string taken = dir / "pref.met";
    ASSERT_EQ(0, mkdir(taken.c_str(), 0755));
    const std::string good = dir / "server.met";
    StateFileWriter writer;
    for (int round = 0; round < 3; round++) {
        writer.write(taken, "settings");
        writer.write(good, "list" + std::to_string(round));
        ASSERT_TRUE(becomes(good, "list" + std::to_string(round)));
        std::set<std::string> failed;
        waitUntil([&] {
            failed = writer.takeFailed();
            return !failed.empty();
        });
        EXPECT_EQ(std::set<std::string>{taken}, failed) << "round " << round;
    }
    writer.stopWriting();
    const std::string said = ui.text();
    EXPECT_EQ(said.find(taken + " was not replaced: "), said.rfind(taken + " was not replaced: "))
        << said;
    EXPECT_NE(std::string::npos, said.find(taken + " was not replaced: ")) << said;
}

TEST(StateFileWriterTest, AStoppedWriterWritesNothingMore) {
    TempDir dir;
    const std::string path = dir / "friend.met";
    StateFileWriter writer;
    writer.stopWriting();
    writer.write(path, "late");
    EXPECT_EQ(0, i4_live_threads());
    EXPECT_FALSE(std::ifstream(path).good());
}

}  // namespace
