// Main thread only: registered at static initialisation; its thread hooks run for the thread that
// calls i4_init.
#ifndef I4_THREAD_INIT_CLASS_H
#define I4_THREAD_INIT_CLASS_H

#include "i4min/init/i4_init_class.h"

// An init class that also prepares the main thread; threads started later do
// not run the thread hooks.
class i4_thread_init_class : public i4_init_class {
public:
    i4_thread_init_class();
    ~i4_thread_init_class() override;

    int init_type() override { return 1; }
    virtual void thread_init() {}
    virtual void thread_uninit() {}

private:
    friend void i4_init();
    friend void i4_uninit();
    static i4_thread_init_class* registry;
    i4_thread_init_class* nextThreadInit;
};

#endif
