// setProxy: the main thread at start-up, later the core task thread. get: any thread.
// The protocol is made once and never replaced, so a connect that holds it never sees it
// deleted; a proxy change takes effect under the protocol's own mutex.
#pragma once

#include <atomic>

#include "i4min/threads/linux/i4_mutex.h"

class i4_protocol;
class i4_proxy_settings;

// The one protocol through which every socket of the client is made.
class ProtocolHolder {
public:
    ProtocolHolder();
    ~ProtocolHolder();

    // Makes the protocol with a copy of the record (null: direct) the first time; later
    // changes the proxy of the same protocol. The record stays the caller's.
    void setProxy(const i4_proxy_settings* settings);
    // Null before the first setProxy.
    i4_protocol* get() const { return protocol.load(); }

private:
    ProtocolHolder(const ProtocolHolder&) = delete;
    ProtocolHolder& operator=(const ProtocolHolder&) = delete;

    i4_mutex lock;  // serialises setProxy
    std::atomic<i4_protocol*> protocol;
};

extern ProtocolHolder theProtocolHolder;
