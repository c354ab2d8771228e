// layer: server
// Datagrams from index servers, as many as the input holds, each handed to the server
// side's annex: [u16 length][u8 sender port][datagram after the marker].
#include <stdint.h>
#include <vector>

#include "fuzz/server_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "server/ExServer.h"
#include "server/ExServerAnnex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ServerPool* pool = serverFuzzSetup();
    static ExServerAnnex* annex = new ExServerAnnex(pool, [] { return (int64_t)123456; });
    pool->servers().add(new ExServer(0x0100007F, 4661));
    size_t at = 0;
    while (at + 3 <= size) {
        size_t n = data[at] | (size_t)data[at + 1] << 8;
        int senderPort = 4660 + (data[at + 2] & 7);
        at += 3;
        if (n > size - at) n = size - at;
        std::vector<uint8_t> datagram(data + at, data + at + n);
        at += n;
        i4_ram_file_class f(datagram.empty() ? nullptr : datagram.data(), (int32_t)datagram.size(),
                            0);
        annex->handle(f, 0x0100007F, senderPort);
    }
    serverFuzzCleanup(pool);
    return 0;
}
