#include "i4min/net/i4_protocol.h"

#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net/i4_tcpip_address.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/threads/linux/i4_lock.h"

i4_protocol::i4_protocol(const i4_proxy_settings* settings)
    : proxy(settings ? settings->copy() : i4_default_proxy_settings()) {}

i4_protocol::~i4_protocol() {
    delete proxy;
}

void i4_protocol::setProxy(const i4_proxy_settings* settings) {
    i4_proxy_settings* fresh = settings ? settings->copy() : i4_default_proxy_settings();
    i4_proxy_settings* old;
    {
        i4_lock g(&m);
        old = proxy;
        proxy = fresh;
    }
    delete old;
}

uint32_t i4_protocol::proxy_type() {
    i4_lock g(&m);
    return proxy->type;
}

i4_proxy_settings* i4_protocol::proxy_for_connect() {
    i4_proxy_settings* snap;
    {
        i4_lock g(&m);
        snap = proxy->copy();
    }
    if (snap->type == I4_PROXY_DIRECT || snap->address) return snap;
    // Resolved outside the lock: a slow name service must not hold up other connects.
    i4_tcpip_address* a = i4_resolve_direct(snap->host);
    if (!a) return snap;
    a->set_port(snap->port);
    snap->address = a;
    i4_lock g(&m);
    if (!proxy->address && i4_proxy_settings::equals(proxy, snap))
        proxy->address = static_cast<i4_tcpip_address*>(a->copy());
    return snap;
}
