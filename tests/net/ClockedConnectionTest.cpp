#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "net/ClockedConnection.h"

namespace {

struct Counted : ClockedConnection {
    bool doTask() override { return false; }
    void moved(int32_t sent, int32_t received) {
        bytesSent += sent;
        bytesReceived += received;
    }
};

}  // namespace

TEST(ClockedConnection, APeriodClosesOnlyPastOneSecond) {
    struct Case {
        int ticks[3];
        int samplesClosed;
    };
    const Case cases[] = {
        {{1000, 0, 0}, 0},  {{1001, 0, 0}, 1},       {{600, 400, 0}, 0},
        {{600, 401, 0}, 1}, {{1001, 1001, 1001}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ticks[0] * 10000 + c.ticks[1]);
        Counted conn;
        for (int ms : c.ticks) conn.tick(ms);
        EXPECT_EQ(c.samplesClosed, conn.sampleIndex());
    }
}

TEST(ClockedConnection, SamplesAveragesAndTotals) {
    CaptureUI ui;
    Counted conn;
    conn.moved(4000, 2000);
    conn.tick(2000);
    // One sample of 2 and 1 bytes per ms; seven unwritten samples count as 0.
    EXPECT_DOUBLE_EQ(2.0, conn.sendSample(0));
    EXPECT_DOUBLE_EQ(1.0, conn.receiveSample(0));
    EXPECT_DOUBLE_EQ(2.0 / 8, conn.sendAverage());
    EXPECT_DOUBLE_EQ(1.0 / 8, conn.receiveAverage());
    EXPECT_EQ(4000, conn.totalSent());
    EXPECT_EQ(2000, conn.totalReceived());
    EXPECT_EQ(0, conn.periodSent());

    // Fill the ring with 8 bytes per ms, then an idle period replaces one sample by 0.
    for (int i = 0; i < 8; i++) {
        conn.moved(8 * 1001, 0);
        conn.tick(1001);
    }
    EXPECT_DOUBLE_EQ(8.0, conn.sendAverage());
    conn.tick(1001);
    EXPECT_DOUBLE_EQ(7.0, conn.sendAverage());
    EXPECT_EQ(4000 + 8 * 8 * 1001, conn.totalSent());
    EXPECT_EQ(2, conn.sampleIndex());
    EXPECT_TRUE(ui.logs.empty());
}

// A fast loopback period can move more than 2 GiB before it closes.
TEST(ClockedConnection, PeriodCountsPastTwoGiBStayWhole) {
    CaptureUI ui;
    Counted conn;
    conn.moved(2000000000, 0);
    conn.moved(2000000000, 0);
    EXPECT_EQ(4000000000LL, conn.periodSent());
    conn.tick(2000);
    EXPECT_DOUBLE_EQ(2000000.0, conn.sendSample(0));
    EXPECT_EQ(4000000000LL, conn.totalSent());
    conn.moved(0, 1500000000);
    conn.moved(0, 1500000000);
    conn.tick(2000);
    ASSERT_EQ(3u, ui.logs.size());
    EXPECT_EQ("Bytes Sent: 0, Bytes Got: 3000000000, Timepassed: 2000", ui.logs[1]);
    EXPECT_EQ(3000000000LL, conn.totalReceived());
}

TEST(ClockedConnection, SuspectReceiveAverageIsLogged) {
    struct Case {
        int32_t received;  // over 2000 ms, as the only sample of eight
        bool logged;
    };
    // 1,600,000 bytes give exactly 100 bytes per ms on average; 160 more give 100.01.
    const Case cases[] = {{1600000, false}, {1600160, true}, {400, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received);
        CaptureUI ui;
        Counted conn;
        conn.moved(12, c.received);
        conn.tick(2000);
        if (!c.logged) {
            EXPECT_TRUE(ui.logs.empty());
            continue;
        }
        ASSERT_EQ(3u, ui.logs.size());
        EXPECT_EQ("Large Download Speed in ClockedConnection! (last 8 values / 8.0)", ui.logs[0]);
        EXPECT_EQ("Bytes Sent: 12, Bytes Got: 1600160, Timepassed: 2000", ui.logs[1]);
        EXPECT_EQ("Array: 0:800.08, 1:0.00, 2:0.00, 3:0.00, 4:0.00, 5:0.00, 6:0.00, 7:0.00, ",
                  ui.logs[2]);
    }
}
