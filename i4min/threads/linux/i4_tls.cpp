#include "i4min/threads/linux/i4_tls.h"

i4_tls_key i4_tls_create() {
    pthread_key_t key;
    pthread_key_create(&key, nullptr);
    return key;
}

void i4_tls_set(i4_tls_key key, void* value) {
    pthread_setspecific(key, value);
}

void* i4_tls_get(i4_tls_key key) {
    return pthread_getspecific(key);
}

void i4_tls_delete(i4_tls_key key) {
    pthread_key_delete(key);
}
