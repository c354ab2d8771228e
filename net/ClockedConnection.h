// Core task thread only: counters, samples and averages have no lock.
#pragma once

#include <cstdint>

#include "net/Connection.h"

// A connection that counts its bytes and keeps transfer-rate samples, from which the pool
// sums the client's rates and totals.
class ClockedConnection : public Connection {
public:
    enum { SAMPLES = 8, PERIOD_MS = 1000 };

    ClockedConnection();

    // Closes a sample period once more than 1000 ms have gathered.
    void tick(int ms) override;

    double sendAverage() const { return sendAvg; }  // bytes per ms
    double receiveAverage() const { return receiveAvg; }
    int64_t totalSent() const { return sentTotal; }
    int64_t totalReceived() const { return receivedTotal; }
    double sendSample(int i) const { return sendSamples[i]; }
    double receiveSample(int i) const { return receiveSamples[i]; }
    int sampleIndex() const { return index; }

    // Beyond this many bytes per ms a receive average means the counting went wrong.
    static constexpr double SUSPECT_RATE = 100.0;

protected:
    int64_t elapsed;
    double sendSamples[SAMPLES];
    double receiveSamples[SAMPLES];
    int index;
    double sendAvg;
    double receiveAvg;
    int64_t sentTotal;
    int64_t receivedTotal;
};
