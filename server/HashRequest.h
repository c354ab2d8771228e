// A plain record, kept by one ExServer and touched only on the core task thread.
#pragma once

#include <stdint.h>
#include <string.h>

// A source request for one file that a server has been sent and that is still pending.
struct HashRequest {
    explicit HashRequest(const uint8_t fileHash[16]) : age(0) { memcpy(hash, fileHash, 16); }
    uint8_t hash[16];
    int64_t age;  // milliseconds since the request went out
};
