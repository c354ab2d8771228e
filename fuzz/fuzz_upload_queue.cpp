// layer: transfer
// uploadq.dat as a damaged or hostile file may hold it: read through the real file classes
// (the stored time is taken as now, so the age check lets it in), every user queued once;
// written back and read again: no more waiting peers than were saved, and a second trip keeps
// every one.
#include <stdint.h>
#include <string>
#include <unistd.h>

#include "fuzz/core_fuzz_setup.h"
#include "fuzz/fuzz_temp_file.h"
#include "transfer/upload/UploadQueue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    coreFuzzSetup();
    if (size > (1u << 20)) return 0;
    std::string path = fuzzFile("uploadq.dat", data, size);
    int64_t now = 0;
    for (size_t i = 0; i < 8 && i < size; i++) now |= (int64_t)data[i] << (8 * i);

    UploadQueue queue;
    queue.load(path.c_str(), now);
    int n = queue.waitingCount();
    if (n < 0 || n > (int)size) __builtin_trap();

    std::string saved = fuzzTempDir() + "/saved.dat";
    if (queue.save(saved.c_str(), {}, now, 0)) {
        UploadQueue back;
        int expected = n < UploadQueue::MIN_SAVED ? n : UploadQueue::MIN_SAVED;
        if (back.load(saved.c_str(), now) != UploadQueue::LOADED) __builtin_trap();
        // A record cut short was queued with what it held; written whole it may name the
        // same user as another entry, so the first trip may only shrink the queue...
        int kept = back.waitingCount();
        if (kept > expected || (expected > 0 && kept == 0)) __builtin_trap();
        // ...and a second one keeps every entry.
        if (back.save(saved.c_str(), {}, now, 0)) {
            UploadQueue again;
            if (again.load(saved.c_str(), now) != UploadQueue::LOADED) __builtin_trap();
            if (again.waitingCount() != kept) __builtin_trap();
        }
    }
    unlink(saved.c_str());
    return 0;
}
