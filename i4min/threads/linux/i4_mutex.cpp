#include "i4min/threads/linux/i4_mutex.h"

i4_mutex::i4_mutex() {
    pthread_mutex_init(&mutex, nullptr);
}

i4_mutex::~i4_mutex() {
    pthread_mutex_destroy(&mutex);
}

void i4_mutex::lock() {
    pthread_mutex_lock(&mutex);
}

void i4_mutex::unlock() {
    pthread_mutex_unlock(&mutex);
}
