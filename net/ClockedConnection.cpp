#include "net/ClockedConnection.h"

#include <cinttypes>
#include <cstdio>

#include "core/UIGateway.h"

ClockedConnection::ClockedConnection()
    : elapsed(0), index(0), sendAvg(0), receiveAvg(0), sentTotal(0), receivedTotal(0) {
    for (int i = 0; i < SAMPLES; i++) {
        sendSamples[i] = 0;
        receiveSamples[i] = 0;
    }
}

void ClockedConnection::tick(int ms) {
    if (ms > 0) elapsed += ms;
    if (elapsed <= PERIOD_MS) return;

    sendSamples[index] = static_cast<double>(bytesSent) / elapsed;
    receiveSamples[index] = static_cast<double>(bytesReceived) / elapsed;
    index = (index + 1) % SAMPLES;

    double sendSum = 0, receiveSum = 0;
    for (int i = 0; i < SAMPLES; i++) {
        sendSum += sendSamples[i];
        receiveSum += receiveSamples[i];
    }
    sendAvg = sendSum / 8.0;
    receiveAvg = receiveSum / 8.0;

    if (receiveAvg > SUSPECT_RATE || receiveAvg < -SUSPECT_RATE) {
        theUI->log("Large Download Speed in ClockedConnection! (last 8 values / 8.0)");
        // The log's printf knows no 64-bit conversion: the counts go in as text.
        char sent[24], got[24], passed[24];
        snprintf(sent, sizeof sent, "%" PRId64, bytesSent);
        snprintf(got, sizeof got, "%" PRId64, bytesReceived);
        snprintf(passed, sizeof passed, "%" PRId64, elapsed);
        theUI->log("Bytes Sent: %s, Bytes Got: %s, Timepassed: %s", sent, got, passed);
        const double* r = receiveSamples;
        theUI->log("Array: 0:%.2f, 1:%.2f, 2:%.2f, 3:%.2f, 4:%.2f, 5:%.2f, 6:%.2f, 7:%.2f, ", r[0],
                   r[1], r[2], r[3], r[4], r[5], r[6], r[7]);
    }

    elapsed = 0;
    sentTotal += bytesSent;
    receivedTotal += bytesReceived;
    bytesSent = 0;
    bytesReceived = 0;
}
