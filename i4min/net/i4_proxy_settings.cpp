#include "i4min/net/i4_proxy_settings.h"

#include "i4min/memory/i4_memory.h"
#include "i4min/net/i4_tcpip_address.h"
#include "i4min/string/i4_string.h"

i4_proxy_settings::~i4_proxy_settings() {
    release();
}

i4_proxy_settings* i4_proxy_settings::copy() const {
    i4_proxy_settings* c = new i4_proxy_settings;
    c->type = type;
    c->host = i4_strdup(host);
    c->port = port;
    c->user = i4_strdup(user);
    c->password = i4_strdup(password);
    c->address = address ? static_cast<i4_tcpip_address*>(address->copy()) : nullptr;
    return c;
}

void i4_proxy_settings::release() {
    i4_free(host);
    i4_free(user);
    i4_free(password);
    delete address;
    host = user = password = nullptr;
    address = nullptr;
    type = I4_PROXY_DIRECT;
    port = 0;
}

bool i4_proxy_settings::equals(const i4_proxy_settings* a, const i4_proxy_settings* b) {
    uint32_t ta = a ? a->type : uint32_t(I4_PROXY_DIRECT);
    uint32_t tb = b ? b->type : uint32_t(I4_PROXY_DIRECT);
    if (ta == I4_PROXY_DIRECT && tb == I4_PROXY_DIRECT) return true;
    if (!a || !b) return false;
    return ta == tb && a->port == b->port && i4_strcmp(a->host, b->host) == 0 &&
           i4_strcmp(a->user, b->user) == 0 && i4_strcmp(a->password, b->password) == 0;
}

i4_proxy_settings* i4_default_proxy_settings() {
    return new i4_proxy_settings;
}
