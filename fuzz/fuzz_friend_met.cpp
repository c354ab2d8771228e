// layer: transfer
// friend.met as a damaged or hostile file may hold it, with or without a last good copy
// beside it: loaded through the real file classes, each user once; written back and loaded
// again to the same friends.
#include <stdint.h>
#include <string>
#include <unistd.h>

#include "fuzz/core_fuzz_setup.h"
#include "fuzz/fuzz_temp_file.h"
#include "transfer/friends/FriendList.h"
#include "util/UniqueID.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    coreFuzzSetup();
    if (size > (1u << 20) || size < 1) return 0;
    // The first byte splits the rest between friend.met and its ".bak", or leaves no ".bak".
    size_t split = data[0] & 0x80 ? (size - 1) * (data[0] & 0x7F) / 0x7F : size - 1;
    std::string path = fuzzFile("friend.met", data + 1, split);
    std::string bak = path + ".bak";
    if (data[0] & 0x80)
        fuzzFile("friend.met.bak", data + 1 + split, size - 1 - split);
    else
        unlink(bak.c_str());

    FriendList list;
    list.load(path.c_str());
    int n = list.count();
    if (n > FriendList::MAX_FRIENDS) __builtin_trap();
    for (int i = 1; i <= n; i++) {
        UserMeta record;
        list.withFriend(i, [&](FriendCache& f) { record.copy(f.getRecord()); });
        // Every user is listed once; a record with neither address nor hash names nobody,
        // so it matches no other and is kept as its own entry.
        bool namesNobody = record.ip == 0 && UniqueID::isZero(record.hash);
        if (!namesNobody && list.addFriend(&record)) __builtin_trap();
    }

    std::string saved = fuzzTempDir() + "/saved.met";
    if (list.save(saved.c_str())) {
        FriendList back;
        if (!back.load(saved.c_str()) || back.count() != n) __builtin_trap();
    }
    unlink(saved.c_str());
    return 0;
}
