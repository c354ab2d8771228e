// layer: transfer
// 2,000 idle peers connected to one client through its peer door, each after a good hello:
// the user-space bytes each peer costs (connection, frame reader, user record, listing) and
// the CPU of a pass over them when none has anything to say (the pass sleeps in poll).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "core/CoreOptions.h"
#include "core/ProtocolHolder.h"
#include "i4min/net/i4_address.h"
#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "net/STSocketPool.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/peer/PeerDoor.h"
#include "transfer/peer/PeerHello.h"

namespace {

std::string le(uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; i++) s += (char)((v >> (8 * i)) & 0xff);
    return s;
}

// A hello frame from 127.0.0.1:port with a user hash made from n and a good trailer.
std::string helloFrame(int n, uint16_t port) {
    std::string body = "\x01\x10";
    for (int i = 0; i < 16; i++) body += (char)((n >> (8 * (i % 4))) + i);
    body += le(0x0100007F, 4) + le(port, 2);
    std::string name = "idle" + std::to_string(n);
    body += le(3, 4);
    body += std::string("\x02\x01\x00\x01", 4) + le((uint32_t)name.size(), 2) + name;
    body += std::string("\x03\x01\x00\x11", 4) + le(10501, 4);
    body += std::string("\x03\x02\x00pr", 5) + le(1, 4);
    body += le(0, 4) + le(0, 2);
    std::string payload = body + std::string(4, '\0');
    PeerHello::trailer(reinterpret_cast<uint8_t*>(&payload[0]), (uint32_t)payload.size(),
                       PeerHello::trailerSeed(port));
    return std::string("\xE3", 1) + le((uint32_t)payload.size(), 4) + payload;
}

int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons((uint16_t)port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (sockaddr*)&sa, sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void BM_IdlePeers2000(benchmark::State& state) {
    const int want = 2000;
    rlimit rl;
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    std::unique_ptr<i4_protocol> protocol(i4_create_tcpip_protocol(nullptr));
    theProtocolHolder.setProxy(nullptr);
    theCoreOptions.maxCon = want + 100;
    STSocketPool pool(protocol.get(), nullptr);
    PeerDoor* door = new PeerDoor(0);
    if (!door->open(protocol.get(), 1000)) {
        delete door;
        state.SkipWithError("the door does not open");
        return;
    }
    i4_address* bound = door->getSocket()->local_address();
    int port = bound->get_port();
    delete bound;
    pool.add(door);
    pool.processPending();

    std::vector<int> clients;
    size_t heapBefore = mallinfo2().uordblks;
    for (int i = 0; i < want; i++) {
        int fd = connectTo(port);
        if (fd < 0) break;
        sockaddr_in local{};
        socklen_t len = sizeof local;
        getsockname(fd, (sockaddr*)&local, &len);
        std::string hello = helloFrame(i, ntohs(local.sin_port));
        if (write(fd, hello.data(), hello.size()) != (ssize_t)hello.size()) {
            close(fd);
            break;
        }
        clients.push_back(fd);
        // The door takes one connection a pass; its hello is read in the next ones.
        for (int pass = 0; pass < 20 && pool.connectionCount() < i + 2; pass++) pool.run(1);
    }
    for (int pass = 0; pass < 200 && theClientPool.count() < (int)clients.size(); pass++)
        pool.run(1);
    // The answers are out once their passes wrote them; nothing is queued any more.
    for (int pass = 0; pass < 5; pass++) pool.run(1);
    size_t heapAfter = mallinfo2().uordblks;
    int listed = theClientPool.count();

    for (auto _ : state) pool.run(1);

    state.counters["peers"] = listed;
    state.counters["heap_bytes_each"] = listed ? double(heapAfter - heapBefore) / listed : 0.0;
    for (int fd : clients) close(fd);
}
BENCHMARK(BM_IdlePeers2000)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
