#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "i4_test_util.h"
#include "i4min/file/i4_debug_file_class.h"
#include "i4min/string/i4_string.h"

namespace {

// Descriptor 0 is swapped for a read-only one, so a write aimed there fails
// and only output that really goes to descriptor 1 is seen.
class stdin_read_only {
public:
    stdin_read_only() : saved_(dup(0)) {
        int ro = open("/dev/null", O_RDONLY);
        dup2(ro, 0);
        close(ro);
    }
    ~stdin_read_only() {
        dup2(saved_, 0);
        close(saved_);
    }

private:
    int saved_;
};

TEST(i4_debug_file_class, ConsoleOutputGoesToStandardOutput) {
    ASSERT_NE(i4_debug, nullptr);
    stdin_read_only guard;
    stdout_capture out;
    EXPECT_EQ(i4_debug->write("raw|", 4), 4);
    EXPECT_EQ(i4_debug->printf("%s=%d|", "n", 5), 4);
    i4_string s("text");
    EXPECT_EQ(i4_printf("%S %x\n", &s, 255u), 8);
    EXPECT_EQ(out.text(), "raw|n=5|text ff\n");
}

// Whatever reaches the terminal, network text among it, cannot drive it.
TEST(i4_debug_file_class, ControlBytesReachTheTerminalMasked) {
    stdin_read_only guard;
    stdout_capture out;
    const char text[] = "\x1b[2Jname\x07\tcol\r\n";
    EXPECT_EQ(i4_debug->write(text, (int32_t)strlen(text)), (int32_t)strlen(text));
    EXPECT_EQ(i4_printf("%s|%s\n", "\x1b]0;title\x07", "caf\xc3\xa9"), 17);
    EXPECT_EQ(out.text(), "?[2Jname?\tcol\r\n?]0;title?|caf\xc3\xa9\n");
}

TEST(i4_debug_file_class, PositionsAreZero) {
    EXPECT_EQ(i4_debug->seek(10), 0);
    EXPECT_EQ(i4_debug->size(), 0);
    EXPECT_EQ(i4_debug->tell(), 0);
}

TEST(i4_debug_file_class, ReadsWholeBlocksFromStandardInput) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "abcde", 5), 5);
    close(fds[1]);
    int saved = dup(0);
    dup2(fds[0], 0);
    close(fds[0]);
    clearerr(stdin);

    char buf[4] = {};
    int32_t first = i4_debug->read(buf, 3);
    std::string got(buf, 3);
    int32_t second = i4_debug->read(buf, 3);  // only two bytes are left

    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(got, "abc");
    EXPECT_EQ(second, 0);
}

}  // namespace
