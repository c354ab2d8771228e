#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "i4_test_util.h"
#include "i4min/string/i4_err.h"

namespace {

TEST(i4_err, ReportThrowsWithTextAndLocation) {
    int line = 0;
    try {
        line = __LINE__ + 1;
        I4_ERROR("bad %s %d", "thing", 7);
    } catch (const i4_err& e) {
        EXPECT_STREQ(e.message(), "bad thing 7");
        i4_err copy(e);
        EXPECT_STREQ(copy.message(), "bad thing 7");
        const char* file;
        int at;
        i4_get_error_location(&file, &at);
        ASSERT_NE(file, nullptr);
        EXPECT_STREQ(file, __FILE__);
        EXPECT_EQ(at, line);
        return;
    }
    FAIL() << "no i4_err thrown";
}

TEST(i4_err, CallingFormStoresTheLocationFirst) {
    EXPECT_EQ(error_of([] { i4_error_at("here.cpp", 12)("%d%%", 50); }), "50%");
    const char* file;
    int line;
    i4_get_error_location(&file, &line);
    EXPECT_STREQ(file, "here.cpp");
    EXPECT_EQ(line, 12);

    // Without a file the previous location stays.
    EXPECT_EQ(error_of([] { i4_error_at(nullptr, 99)("x"); }), "x");
    i4_get_error_location(&file, &line);
    EXPECT_STREQ(file, "here.cpp");
    EXPECT_EQ(line, 12);
}

TEST(i4_err, LongMessagesAreCut) {
    struct {
        size_t length;
        size_t kept;
    } cases[] = {{0, 0}, {498, 498}, {499, 499}, {500, 499}, {600, 499}};
    for (auto& c : cases) {
        std::string text(c.length, 'm');
        std::string got = error_of([&] { I4_ERROR("%s", text.c_str()); });
        EXPECT_EQ(got, text.substr(0, c.kept)) << c.length;
    }
}

TEST(i4_err, LocationIsPerThread) {
    std::thread([] {
        const char* file = "set";
        int line = -1;
        i4_get_error_location(&file, &line);
        EXPECT_EQ(file, nullptr);
        EXPECT_EQ(line, 0);
    }).join();

    // Many threads make their first reports at once; each reads back its own.
    const int threads = 16;
    static const char* names[threads] = {"t0", "t1", "t2",  "t3",  "t4",  "t5",  "t6",  "t7",
                                         "t8", "t9", "t10", "t11", "t12", "t13", "t14", "t15"};
    std::atomic<int> ready{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; i++) {
        pool.emplace_back([i, &ready, &wrong] {
            ready++;
            for (int spin = 0; spin < 1000000 && ready < threads; spin++) std::this_thread::yield();
            for (int round = 0; round < 200; round++) {
                try {
                    i4_error_at(names[i], i * 1000 + round)("report %d", i);
                } catch (const i4_err&) {
                }
                const char* file;
                int line;
                i4_get_error_location(&file, &line);
                if (file != names[i] || line != i * 1000 + round) wrong++;
            }
        });
    }
    for (auto& t : pool) t.join();
    EXPECT_EQ(wrong, 0);
}

std::string last_handled;

void remember(const char* text) {
    last_handled = text;
}

TEST(i4_err, ReplacedHandlerThatReturns) {
    i4_set_error_handler(remember);
    i4_error_at("a.cpp", 1)("kept %d", 1);  // the plain reporter returns
    EXPECT_EQ(last_handled, "kept 1");
    // The macro never returns: it throws after the handler.
    std::string thrown = error_of([] { I4_ERROR("still %s", "thrown"); });
    i4_set_error_handler(nullptr);
    EXPECT_EQ(last_handled, "still thrown");
    EXPECT_EQ(thrown, "still thrown");
    EXPECT_EQ(error_of([] { i4_error_reporter("default again"); }), "default again");
}

TEST(i4_err, WarningsPrintWithTheirLocation) {
    EXPECT_EQ(i4_get_warning_handler(), i4_default_warning);
    std::string with_location, without;
    {
        stdout_capture out;
        i4_warning_at("w.cpp", 42)("low %s", "disk");
        with_location = out.text();
    }
    std::thread([&] {
        stdout_capture out;
        i4_warning_reporter("plain");
        without = out.text();
    }).join();
    EXPECT_EQ(with_location, "Warning (w.cpp:42) : low disk\n");
    EXPECT_EQ(without, "Warning plain\n");

    i4_set_warning_handler(remember);
    I4_WARNING("via %s", "macro");
    i4_set_warning_handler(nullptr);
    EXPECT_EQ(last_handled, "via macro");
}

i4_string last_debug;

void remember_debug(const i4_string& text) {
    last_debug = text;
}

TEST(i4_err, DebugPrintHasNoLengthLimit) {
    std::string big(2000, 'b');
    std::string printed;
    {
        stdout_capture out;
        i4_debug_print("%s|%d", big.c_str(), 3);
        printed = out.text();
    }
    EXPECT_EQ(printed, big + "|3");

    i4_set_debug_handler(remember_debug);
    i4_debug_print("to %s", "handler");
    i4_set_debug_handler(nullptr);
    EXPECT_STREQ(last_debug.c_str(), "to handler");
}

}  // namespace
