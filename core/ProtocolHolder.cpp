#include "core/ProtocolHolder.h"

#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/threads/linux/i4_lock.h"

ProtocolHolder theProtocolHolder;

ProtocolHolder::ProtocolHolder() : protocol(nullptr) {}

// Runs at exit, after every connect thread has ended.
ProtocolHolder::~ProtocolHolder() {
    delete protocol.load();
}

void ProtocolHolder::setProxy(const i4_proxy_settings* settings) {
    i4_lock guard(&lock);
    i4_protocol* current = protocol.load();
    if (current)
        current->setProxy(settings);
    else
        protocol.store(i4_create_tcpip_protocol(settings));
}
