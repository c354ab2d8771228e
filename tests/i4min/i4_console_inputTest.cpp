#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "i4min/main/i4_console_input.h"
#include "i4min/threads/linux/i4_thread.h"
#include "support/Waiting.h"

namespace {

FILE* inputOf(const std::string& text) {
    FILE* f = tmpfile();
    fwrite(text.data(), 1, text.size(), f);
    rewind(f);
    return f;
}

struct Read {
    bool got;
    std::string line;
};

std::vector<Read> readAll(const std::string& text, int n) {
    FILE* in = inputOf(text);
    std::vector<Read> reads;
    std::vector<char> buf(n > 0 ? n : 1);
    for (int i = 0; i < 20; i++) {
        clearInput(in);
        bool got = readLine(buf.data(), n, in);
        reads.push_back({got, got ? std::string(buf.data()) : std::string()});
        if (!got) break;
    }
    fclose(in);
    return reads;
}

TEST(ReadLine, TellsEmptyLinesFromTheEndOfInput) {
    struct Case {
        const char* name;
        std::string input;
        int n;
        std::vector<Read> want;
    };
    const std::string long300(300, 'x');
    const std::string exact254(254, 'y');
    const Case cases[] = {
        {"nothing", "", 255, {{false, ""}}},
        {"one empty line", "\n", 255, {{true, ""}, {false, ""}}},
        {"lines and an empty one",
         "abc\n\nxyz\n",
         255,
         {{true, "abc"}, {true, ""}, {true, "xyz"}, {false, ""}}},
        {"last line without its end", "q", 255, {{true, "q"}, {false, ""}}},
        {"long line is cut and its rest read next",
         long300 + "\nnext\n",
         255,
         {{true, std::string(254, 'x')},
          {true, std::string(46, 'x')},
          {true, "next"},
          {false, ""}}},
        {"line filling the buffer exactly",
         exact254 + "\nnext\n",
         255,
         {{true, exact254}, {true, "next"}, {false, ""}}},
        {"confirmation buffer",
         "yes please\n",
         4,
         {{true, "yes"}, {true, " pl"}, {true, "eas"}, {true, "e"}, {false, ""}}},
        {"no room for a character", "abc\n", 1, {{false, ""}}},
    };
    for (const Case& c : cases) {
        std::vector<Read> got = readAll(c.input, c.n);
        ASSERT_EQ(c.want.size(), got.size()) << c.name;
        for (size_t i = 0; i < got.size(); i++) {
            EXPECT_EQ(c.want[i].got, got[i].got) << c.name << " read " << i;
            EXPECT_EQ(c.want[i].line, got[i].line) << c.name << " read " << i;
        }
    }
}

// A signal that interrupts a blocked read (as the one that wakes a thread
// blocked in a socket call does) is not the end of the input.
TEST(ReadLine, SignalWhileWaitingIsNotTheEndOfInput) {
    struct sigaction act = {};
    act.sa_handler = [](int) {};
    act.sa_flags = 0;  // no restart: the blocked read returns EINTR
    struct sigaction old;
    sigaction(SIGUSR2, &act, &old);
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    FILE* in = fdopen(fds[0], "r");
    ASSERT_NE(nullptr, in);

    std::atomic<int> got{-1};
    std::string line;
    std::thread reader([&] {
        char buf[64];
        bool ok = readLine(buf, sizeof buf, in);
        line = ok ? buf : "";
        got = ok ? 1 : 0;
    });
    for (int i = 0; i < 10 && got.load() < 0; i++) {
        usleep(20000);
        pthread_kill(reader.native_handle(), SIGUSR2);
    }
    ASSERT_EQ(6, write(fds[1], "hello\n", 6));
    reader.join();
    close(fds[1]);
    fclose(in);
    sigaction(SIGUSR2, &old, nullptr);
    EXPECT_EQ(1, got.load());
    EXPECT_EQ("hello", line);
}

TEST(WaitKey, AnswersEachKeyAndQuitsAtTheEndOfInput) {
    FILE* in = inputOf(" x");
    EXPECT_EQ(' ', waitKey(in));
    EXPECT_EQ('x', waitKey(in));
    EXPECT_EQ('q', waitKey(in));
    clearInput(in);
    EXPECT_EQ('q', waitKey(in));
    fclose(in);
}

struct KeyWait {
    FILE* in;
    std::atomic<int> key{-1};
};

void waitForKey(void* arg) {
    KeyWait* w = static_cast<KeyWait*>(arg);
    w->key = waitKey(w->in);
}

TEST(WaitKey, TakesOneKeyFromATerminalWithoutEchoOrLineEnd) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios mode;
    ASSERT_EQ(0, tcgetattr(slave, &mode));
    mode.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(0, tcsetattr(slave, TCSANOW, &mode));
    FILE* in = fdopen(slave, "r");

    KeyWait w;
    w.in = in;
    i4_add_thread(waitForKey, 51200, &w);
    // Type only once the key wait has switched the line mode off, so that an
    // echo could only come from the wait itself.
    bool single = waitUntil([&] {
        termios now;
        tcgetattr(slave, &now);
        return (now.c_lflag & ICANON) == 0;
    });
    // Typed in any case, so that the waiting thread never stays blocked.
    ASSERT_EQ(1, write(master, "k", 1));
    EXPECT_TRUE(single);
    waitUntil([&] { return w.key.load() >= 0; });
    EXPECT_EQ('k', w.key.load());
    i4_wait_threads();

    termios after;
    ASSERT_EQ(0, tcgetattr(slave, &after));
    EXPECT_NE(0u, after.c_lflag & ICANON);
    EXPECT_NE(0u, after.c_lflag & ECHO);
    int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    char echoed[8];
    EXPECT_LT(read(master, echoed, sizeof echoed), 1);
    fclose(in);
    close(master);
}

}  // namespace
