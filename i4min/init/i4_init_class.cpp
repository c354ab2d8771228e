#include "i4min/init/i4_init_class.h"

#include "i4min/init/i4_thread_init_class.h"

namespace {

// Constant-initialised, so registration at static initialisation is safe in
// any order of translation units.
i4_init_class* initRegistry = nullptr;
int initialised = 0;

const int firstPass = 0;
const int lastPass = 9;

}  // namespace

i4_init_class::i4_init_class() : nextInit(initRegistry) {
    initRegistry = this;
}

i4_init_class::~i4_init_class() {
    for (i4_init_class** at = &initRegistry; *at; at = &(*at)->nextInit) {
        if (*at == this) {
            *at = nextInit;
            return;
        }
    }
}

void i4_init() {
    for (int pass = firstPass; pass <= lastPass; pass++) {
        for (i4_init_class* c = initRegistry; c; c = c->nextInit) {
            if (c->init_type() == pass) c->init();
        }
        if (pass == firstPass) initialised = 1;
    }
    for (i4_thread_init_class* c = i4_thread_init_class::registry; c; c = c->nextThreadInit)
        c->thread_init();
}

void i4_uninit() {
    for (i4_thread_init_class* c = i4_thread_init_class::registry; c; c = c->nextThreadInit)
        c->thread_uninit();
    for (int pass = lastPass; pass >= firstPass; pass--) {
        for (i4_init_class* c = initRegistry; c; c = c->nextInit) {
            if (c->init_type() == pass) c->uninit();
        }
    }
    initialised = 0;
}

int i4_is_initialised() {
    return initialised;
}
