// Shared by the server-side fuzz targets: every print dropped, the record model ready, and
// the server gateway's pool made once without sockets, so handlers have what they call.
#pragma once

#include "core/MessageQ.h"
#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_null_file_class.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"

inline ServerPool* serverFuzzSetup() {
    static bool done = false;
    if (!done) {
        done = true;
        metaFuzzSetup();
        static i4_null_file_class nowhere;
        theUI->setOutput(&nowhere);
        theProtocolHolder.setProxy(nullptr);
        theServerGateway.start(nullptr, nullptr, nullptr, [] { return (int64_t)123456; });
    }
    return theServerGateway.pool();
}

// What one input left behind, cleared so that runs do not pile up.
inline void serverFuzzCleanup(ServerPool* pool) {
    for (int i = 0; i < 100 && theMessageQ.pending() > 0; ++i) theMessageQ.run(0);
    pool->servers().deleteAll();
    theServerGateway.resetServerState();
}
