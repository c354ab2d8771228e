#include "i4min/init/i4_thread_init_class.h"

// Constant-initialised, so registration at static initialisation is safe.
i4_thread_init_class* i4_thread_init_class::registry = nullptr;

i4_thread_init_class::i4_thread_init_class() : nextThreadInit(registry) {
    registry = this;
}

i4_thread_init_class::~i4_thread_init_class() {
    for (i4_thread_init_class** at = &registry; *at; at = &(*at)->nextThreadInit) {
        if (*at == this) {
            *at = nextThreadInit;
            return;
        }
    }
}
