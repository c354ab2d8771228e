#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "i4_test_util.h"
#include "i4min/file/i4_buffered_file_class.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_unix_file_class.h"

namespace {

TEST(i4_buffered_file_class, WritesReachTheBaseOnFlushAndDestruction) {
    int fd = temp_fd();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "0123456789", 10), 10);
    {
        i4_buffered_file_class f(new i4_unix_file_class(dup(fd)), 8);
        f.seek(2);
        EXPECT_EQ(f.write("ab", 2), 2);
        EXPECT_EQ(read_fd(fd), "0123456789") << "the window is written back lazily";
        EXPECT_EQ(f.tell(), 4);
        char c;
        EXPECT_EQ(f.read(&c, 1), 1);
        EXPECT_EQ(c, '4');
        f.flush();
        EXPECT_EQ(read_fd(fd), "01ab456789");
        f.seek(9);
        EXPECT_EQ(f.write("XYZ", 3), 3);
        EXPECT_EQ(f.size(), 12);
    }
    EXPECT_EQ(read_fd(fd), "01ab45678XYZ");
    close(fd);
}

// Applies the same operations to a buffered file and to the same kind of file
// unbuffered; every answer and the final contents must agree.
TEST(i4_buffered_file_class, BehavesLikeTheFileItCaches) {
    for (int32_t window : {1, 3, 16, 100}) {
        int base_fd = temp_fd();
        int plain_fd = temp_fd();
        ASSERT_GE(base_fd, 0);
        ASSERT_GE(plain_fd, 0);
        i4_unix_file_class plain(plain_fd);
        {
            i4_buffered_file_class f(new i4_unix_file_class(dup(base_fd)), window);
            unsigned seed = 7;
            auto next = [&seed](unsigned n) {
                seed = seed * 1103515245u + 12345u;
                return (seed >> 16) % n;
            };
            for (int step = 0; step < 400; step++) {
                switch (next(3)) {
                case 0: {
                    int64_t p = next(300);
                    ASSERT_EQ(f.seek(p), plain.seek(p));
                    break;
                }
                case 1: {
                    char data[40];
                    int32_t n = (int32_t)next(40);
                    for (int i = 0; i < n; i++) data[i] = (char)('a' + next(26));
                    ASSERT_EQ(f.write(data, n), plain.write(data, n)) << window << " step " << step;
                    break;
                }
                default: {
                    char x[40], y[40];
                    int32_t n = (int32_t)next(40);
                    int32_t got = f.read(x, n);
                    ASSERT_EQ(got, plain.read(y, n)) << window << " step " << step;
                    ASSERT_EQ(std::string(x, got), std::string(y, got))
                        << window << " step " << step;
                }
                }
                ASSERT_EQ(f.tell(), plain.tell());
                ASSERT_EQ(f.size(), plain.size()) << window << " step " << step;
            }
        }
        EXPECT_EQ(read_fd(base_fd), read_fd(plain_fd)) << window;
        close(base_fd);
    }
}

TEST(i4_buffered_file_class, FailedWriteBackIsReported) {
    char fixed[3] = {};
    i4_buffered_file_class f(new i4_ram_file_class(fixed, 3, 0), 2);
    EXPECT_EQ(f.write("abcd", 4), 4);
    f.seek(10);
    EXPECT_EQ(f.write("e", 1), -1) << "the window could not move: its bytes would be lost";
    EXPECT_EQ(std::string(fixed, 3), "abc");
}

}  // namespace
