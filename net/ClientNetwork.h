// The main thread, through the core's start and stop.
#pragma once

#include "core/CoreNetwork.h"
#include "net/CoreBandwidth.h"

// The client's connection layer as the core starts it: the socket pool budgets by the
// settings' limits, and the connector hands its connections to that pool.
class ClientNetwork : public CoreNetwork {
public:
    TimeSliceTask* open(STSocketPool** pool, Connector** connector) override;
    int connectionCount(STSocketPool* pool) override;
    void close(STSocketPool* pool, Connector* connector) override;

private:
    CoreBandwidth bandwidth;
};

extern ClientNetwork theClientNetwork;
