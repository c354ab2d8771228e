#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "i4min/net/linux_socket_set.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"

namespace {

// Unbound datagram sockets: always writable, never readable.
struct Datagrams {
    explicit Datagrams(int n) {
        for (int i = 0; i < n; i++) fds.push_back(socket(AF_INET, SOCK_DGRAM, 0));
    }
    ~Datagrams() {
        for (int fd : fds) close(fd);
    }
    std::vector<int> fds;
};

// Members are found by descriptor after removals anywhere in the set, and a descriptor added
// again gets its new events rather than a second entry.
TEST(linux_socket_set, FindsEveryMemberAfterRemovalsAndChanges) {
    linux_socket_set set;
    Datagrams d(10);
    for (int fd : d.fds) set.add(fd, POLLOUT);
    set.add(-1, POLLOUT);  // ignored
    EXPECT_EQ(10, set.count());
    // First, middle and last go; the one added last moves into a hole.
    set.remove(d.fds[0]);
    set.remove(d.fds[5]);
    set.remove(d.fds[9]);
    set.remove(d.fds[5]);  // not a member any more: nothing
    set.add(d.fds[3], POLLIN);
    EXPECT_EQ(7, set.count());
    EXPECT_EQ(6, set.wait(1000));
    for (int i = 0; i < 10; i++) {
        short events = 0;
        bool member = set.returned(d.fds[i], &events);
        bool removed = i == 0 || i == 5 || i == 9;
        EXPECT_EQ(!removed, member) << i;
        if (member) {
            EXPECT_EQ(i == 3 ? 0 : POLLOUT, events & (POLLIN | POLLOUT)) << i;
        }
    }
    short events;
    EXPECT_FALSE(set.returned(-1, &events));
    EXPECT_FALSE(set.returned(100000, &events));
}

// The pool's thread sleeps in this wait; any thread ends it at once, and a wake given before
// the wait ends the next one. Several wakes before a wait end that one wait only.
TEST(linux_socket_set, WakeEndsTheWaitFromAnyThread) {
    linux_socket_set set;
    Datagrams d(1);
    set.add(d.fds[0], POLLIN);

    int64_t start = i4_now_ms();
    std::thread waker([&set] {
        i4_sleep_ms(50);
        set.wake();
    });
    EXPECT_EQ(0, set.wait(60000));
    waker.join();
    EXPECT_LT(i4_now_ms() - start, 30000);

    set.wake();
    set.wake();
    start = i4_now_ms();
    EXPECT_EQ(0, set.wait(60000));
    EXPECT_LT(i4_now_ms() - start, 30000);
    // Taken by that wait: the next one runs its time out.
    start = i4_now_ms();
    EXPECT_EQ(0, set.wait(50));
    EXPECT_GE(i4_now_ms() - start, 45);
}

}  // namespace
