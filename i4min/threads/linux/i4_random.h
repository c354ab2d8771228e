// Any thread. One generator for the whole process, shared without a lock of our own (the C library
// locks it).
#ifndef I4_RANDOM_H
#define I4_RANDOM_H

// A uniform integer in 0 .. n-1; 0 when n is not above 1.
int i4_random(int n);
// Seeds the generator from the process id and the current time, once per process: later calls
// leave it as it is.
void i4_random_seed();

#endif
