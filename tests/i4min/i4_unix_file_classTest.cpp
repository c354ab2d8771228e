#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "i4_test_util.h"
#include "i4min/file/i4_unix_file_class.h"

namespace {

TEST(i4_unix_file_class, ReadWriteSeek) {
    int fd = temp_fd();
    ASSERT_GE(fd, 0);
    i4_unix_file_class f(fd);
    EXPECT_EQ(f.write("hello world", 11), 11);
    EXPECT_EQ(f.seek(6), 6);
    EXPECT_EQ(f.size(), 11);
    EXPECT_EQ(f.tell(), 6) << "size must leave the position alone";
    char buf[16] = {};
    EXPECT_EQ(f.read(buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(f.read(buf, sizeof buf), 0);
    f.seek(0);
    f.write_32(0x64636261);
    f.seek(0);
    EXPECT_EQ(f.read_32(), 0x64636261u);
}

TEST(i4_unix_file_class, PositionsBeyondFourGigabytes) {
    int fd = temp_fd();
    ASSERT_GE(fd, 0);
    i4_unix_file_class f(fd);
    const int64_t far = (INT64_C(5) << 30) + 3;
    ASSERT_EQ(f.seek(far), far);
    errno = 0;
    int32_t w = f.write("!", 1);
    if (w != 1 && errno == ENOSPC)
        GTEST_SKIP() << "the file system here takes no sparse 5 GiB file";
    ASSERT_EQ(w, 1);
    EXPECT_EQ(f.tell(), far + 1);
    EXPECT_EQ(f.size(), far + 1);
    f.seek(far);
    EXPECT_EQ(f.read_8(), '!');
}

TEST(i4_unix_file_class, ClosesItsDescriptor) {
    int fd = temp_fd();
    ASSERT_GE(fd, 0);
    {
        i4_unix_file_class f(fd);
        EXPECT_EQ(f.fd(), fd);
    }
    errno = 0;
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(i4_unix_file_class, FailuresAnswerMinusOne) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    int ro = open("/dev/null", O_RDONLY);
    ASSERT_GE(ro, 0);
    i4_unix_file_class readonly(ro);
    EXPECT_EQ(readonly.write("x", 1), -1);
    i4_unix_file_class pipe_end(fds[1]);
    EXPECT_EQ(pipe_end.seek(0), -1);
    EXPECT_EQ(pipe_end.size(), -1);
}

}  // namespace
