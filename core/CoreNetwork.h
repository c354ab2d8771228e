// Called by the core on the main thread: open during start, close during stop.
#pragma once

class Connector;
class STSocketPool;
class TimeSliceTask;

// What the core needs of the connection layer, which sits above it: the layer registers
// an implementation with the core before the core starts.
class CoreNetwork {
public:
    virtual ~CoreNetwork() {}
    // Makes the socket pool, then the connector over it; answers the pool as the task for
    // the core task thread.
    virtual TimeSliceTask* open(STSocketPool** pool, Connector** connector) = 0;
    virtual int connectionCount(STSocketPool* pool) = 0;
    // Deletes the connector, then the pool; either may be null.
    virtual void close(STSocketPool* pool, Connector* connector) = 0;
};
