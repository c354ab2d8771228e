// Core task thread only (add and remove from SocketPool excepted); the totals are read by the
// console listing and the slot tuner on that thread too.
#pragma once

#include <cstdint>

#include "net/BandwidthSettings.h"
#include "net/SocketPool.h"

// The client's socket pool: turns the bandwidth limits into byte budgets per ready pass,
// learns the line's top speeds, sums the client's rates and rotates its connections so
// that a different one comes first at the budgets each pass.
class STSocketPool : public SocketPool {
public:
    // settings: not owned; null uses the pool's own (no limits).
    STSocketPool(i4_protocol* protocol, BandwidthSettings* settings);
    // Over the client's protocol.
    explicit STSocketPool(BandwidthSettings* settings);

    bool run(int ms) override;
    // While a spent budget holds its direction back: when that ends.
    int nextDueMs() override;

    // The bytes a limit (KB/s, 0 = none) allows over ms; whole limits of 1 and more count
    // whole. The fraction of a byte left over carries to the next pass in *carry, so a
    // limit below 1 KB/s still lets bytes out. Clamped to 0..UNLIMITED_BUDGET.
    static int32_t budgetFor(double limitKBs, int64_t ms, double* carry);

    void updateRateEstimates();

    double totalSendRate() const { return sendRate; }  // bytes per ms
    double totalReceiveRate() const { return receiveRate; }
    int64_t totalSent() const { return sentTotal; }
    int64_t totalReceived() const { return receivedTotal; }
    BandwidthSettings* bandwidth() const { return settings; }

    // A spent budget keeps its direction out of the readiness wait this long, so a limited
    // transfer costs a pass every few milliseconds instead of a busy loop.
    enum { LEARN_EVERY_MS = 4000, RING = 8, HOLD_MS = 10 };
    // What a failed wait reports (after the platform's code).
    static const char* const SOCKET_SET_PROBLEM;

protected:
    bool processConnections(int ms);
    void onRemoved(Connection* c) override;
    int readinessMask() override;
    void holdSpentBudgets();
    void reportWaitFailure();

    int64_t sinceReady;
    int64_t sinceLearning;
    int64_t removedSent;
    int64_t removedReceived;
    double upRing[RING];
    int upIndex;
    double downRing[RING];
    int downIndex;
    double sendRate;
    double receiveRate;
    int64_t sentTotal;
    int64_t receivedTotal;
    double upCarry;
    double downCarry;
    // i4_now_ms until which a spent budget keeps reads or writes out of the wait.
    int64_t receiveHeldUntil;
    int64_t sendHeldUntil;
    BandwidthSettings ownSettings;
    BandwidthSettings* settings;
};
