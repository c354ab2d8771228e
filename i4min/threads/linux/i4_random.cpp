#include "i4min/threads/linux/i4_random.h"

#include <atomic>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int i4_random(int n) {
    if (n <= 1) return 0;
    // rand() lies in 0 .. 2^31-1, so the scaled product stays below n.
    return (int)(((int64_t)n * (int64_t)rand()) >> 31);
}

void i4_random_seed() {
    // The generator is the process's: seeded again (each thread seeds as it starts) within
    // the same second, it would start over and repeat every value already handed out.
    static std::atomic<bool> seeded{false};
    if (!seeded.exchange(true)) srand((unsigned)getpid() * (unsigned)time(nullptr));
}
