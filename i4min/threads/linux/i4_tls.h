// Any thread. Thread-local keys: each thread reads back only the value it set itself.
#ifndef I4_TLS_H
#define I4_TLS_H

#include <pthread.h>

typedef pthread_key_t i4_tls_key;

i4_tls_key i4_tls_create();
void i4_tls_set(i4_tls_key key, void* value);
// Null when the calling thread never set the key.
void* i4_tls_get(i4_tls_key key);
void i4_tls_delete(i4_tls_key key);

#endif
