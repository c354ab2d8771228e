// layer: server
// fuzz flags: -len_control=0
// Frames from an index server, as many as the input holds, each handed to the server
// connection's handler: [u8 opcode][u16 length][payload]. A handler may fail with the
// read error (the connection would be dropped) but never read outside its payload.
#include <stdint.h>
#include <vector>

#include "fuzz/server_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_err.h"
#include "server/MainServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ServerPool* pool = serverFuzzSetup();
    ServerMeta record(0x0100007F, 4661);
    MainServer* connection = new MainServer(&record, pool);
    size_t at = 0;
    while (at + 3 <= size) {
        uint8_t opcode = data[at];
        size_t n = data[at + 1] | (size_t)data[at + 2] << 8;
        at += 3;
        if (n > size - at) n = size - at;
        // A copy of exactly the payload, so a read past it is seen.
        std::vector<uint8_t> payload(data + at, data + at + n);
        at += n;
        i4_ram_file_class f(payload.empty() ? nullptr : payload.data(), (int32_t)payload.size(), 0);
        bool keep;
        try {
            keep = connection->handlePacket(opcode, &f);
        } catch (const i4_err&) {
            keep = false;
        }
        if (!keep) break;
    }
    delete connection;
    serverFuzzCleanup(pool);
    return 0;
}
