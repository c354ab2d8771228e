// layer: ui
// fuzz flags: -len_control=0
// Packets from a hostile remote controller, handed to a controller connection's handlers as
// its pass would: [u8 mode] then packets [u8 opcode][u16 length][payload]. Mode bit 0 logs
// in first with the right name and password, so the packets reach the command handlers;
// otherwise the first packet is the login (or not). Mode bit 1 puts the remote UI's faces
// in front, so that what the commands print and post also goes back to the controller. The
// client keeps one download (its hash sixteen 'A's) and a listed server (127.0.0.1:4661),
// so the commands that name one go as deep as they can. A handler may fail with the read
// error (the connection would be dropped) but never read outside its payload.
#include <stdint.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "core/TaskThread.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "fuzz/fuzz_packets.h"
#include "fuzz/server_fuzz_setup.h"
#include "i4min/file/i4_null_file_class.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_err.h"
#include "meta/FileMeta.h"
#include "server/ExServerList.h"
#include "transfer/download/DLPool.h"
#include "transfer/share/TransferOptions.h"
#include "ui/AdminSettings.h"
#include "ui/RemoteController.h"
#include "ui/TcpipUI.h"

namespace {

std::string text(const char* s) {
    std::string n = s;
    return std::string(1, (char)n.size()) + std::string(1, '\0') + n;
}

// Hands one payload (opcode first) to the controller as the connection's dispatch does.
bool deliver(GUIController* c, const std::string& payload, bool first) {
    std::vector<uint8_t> copy(payload.begin(), payload.end());
    i4_ram_file_class f(copy.empty() ? nullptr : copy.data(), (int32_t)copy.size(), 0);
    try {
        uint8_t opcode = f.read_8();
        return first ? c->handleFirstPacket(opcode, &f) : c->handlePacket(opcode, &f);
    } catch (const i4_err&) {
        return false;
    }
}

void setUp() {
    ServerPool* pool = serverFuzzSetup();
    (void)pool;
    theAdminSettings.setCredentials("zet", "quimbal");
    // One download in a directory of the run's own.
    static char dir[] = "/tmp/fuzz-controller-XXXXXX";
    if (!mkdtemp(dir)) abort();
    theTransferOptions.setTemp(dir);
    theTransferOptions.setIncoming(dir);
    FileMeta record;
    uint8_t hash[16];
    for (uint8_t& b : hash) b = 'A';
    record.setFileHash(hash);
    record.setName("fuzzed.bin");
    record.setFileSize(3 * 486400 + 7);
    theDLPool.startDownload(&record);
    // The pool's list does not own its downloads: let go of it before the leak check.
    atexit([] { theDLPool.removeAll(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = false;
    static TaskThread tasks;
    static i4_null_file_class nowhere;
    static UIGateway console;
    static TransferUI consoleTransfer;
    static TcpipUI remote(&console, &consoleTransfer);
    if (!ready) {
        ready = true;
        setUp();
        console.setOutput(&nowhere);
    }
    if (size < 1) return 0;
    uint8_t mode = data[0];
    ServerPool* pool = theServerGateway.pool();
    pool->addServer(0x0100007F, 4661);

    UIGateway* savedUI = theUI;
    TransferUI* savedTransfer = theTransferUI;
    if (mode & 2) {
        theUI = &remote;
        theTransferUI = &remote;
    }
    GUIController* c = new RemoteController(nullptr, &remote, &tasks);
    bool open = true;
    bool first = true;
    if (mode & 1) {
        open = deliver(
            c, std::string(1, (char)GUIController::IN_LOGIN) + text("zet") + text("quimbal"), true);
        first = false;
    }
    if (open)
        forEachPacket(data, size, 1, [&](const std::string& payload) {
            bool stays = deliver(c, payload, first);
            first = false;
            return stays;
        });
    delete c;
    theUI = savedUI;
    theTransferUI = savedTransfer;
    if (remote.hasController()) __builtin_trap();
    // What the commands posted is freed unhandled; the server list starts over.
    serverFuzzCleanup(pool);
    return 0;
}
