// Main thread only: objects register at static initialisation; i4_init and i4_uninit run at start
// and end.
#ifndef I4_INIT_CLASS_H
#define I4_INIT_CLASS_H

// Something initialised in a numbered pass (0 to 9) when the program starts
// and uninitialised in reverse pass order when it ends. Registers itself on
// construction, newest first, and unregisters on destruction.
class i4_init_class {
public:
    i4_init_class();
    virtual ~i4_init_class();
    i4_init_class(const i4_init_class&) = delete;
    i4_init_class& operator=(const i4_init_class&) = delete;

    // The pass; a value outside 0..9 is never run.
    virtual int init_type() { return 9; }
    virtual void init() {}
    virtual void uninit() {}

private:
    friend void i4_init();
    friend void i4_uninit();
    i4_init_class* nextInit;
};

// Passes 0 to 9 in order, then the thread init of the calling thread.
void i4_init();
// The calling thread's thread uninit, then passes 9 down to 0.
void i4_uninit();
// 1 from the end of pass 0 of i4_init until the end of i4_uninit.
int i4_is_initialised();

#endif
