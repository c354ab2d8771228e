// The core task thread only, like every source state.
//
// The peer could not be reached: wait, longer after every failed period, then try again;
// six periods without success give the source up.
#pragma once

#include "transfer/source/FileSourceState.h"

class FSS_Gone : public FileSourceState {
public:
    enum { FIRST_LIMIT_MS = 600000, MAX_RETRIES = 5 };
    explicit FSS_Gone(FileSource* source);
    // 600,000 ms x 2.4^retries, cut to whole milliseconds.
    static int64_t limitFor(int retries);
    int64_t getLimit() const { return limit; }
    bool tick(int elapsedMs) override;
    void refound() override;
    void newPeer(Peer* connection) override;
    void connectionLost() override;
    double partnerScore() override;

private:
    int64_t waited;
    int64_t limit;
};
