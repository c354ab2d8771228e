// layer: meta
// User records as peers, servers and controllers send them (hello, login, source and friend
// lists): one record or a list of them from the wire, compared, copied and sent back; what was
// sent once must read back to the same bytes.
#include <stdint.h>
#include <string.h>

#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/UserList.h"
#include "meta/UserMeta.h"
#include "util/LLView.h"

namespace {

void sendBackTwice(UserMeta& user) {
    i4_ram_file_class once(nullptr, 0, 256);
    i4_ram_file_class twice(nullptr, 0, 256);
    if (user.toNetwork(once)) {
        i4_ram_file_class again(once.get_buffer(), (int32_t)once.size(), 0);
        UserMeta back;
        if (!back.fromNetwork(again) || !back.toNetwork(twice) || twice.size() != once.size() ||
            memcmp(once.get_buffer(), twice.get_buffer(), (size_t)once.size()) != 0)
            __builtin_trap();
        if (back.size() != user.size()) __builtin_trap();
    }
    i4_free(once.get_buffer());
    i4_free(twice.get_buffer());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size > (1u << 20) || size < 1) return 0;
    i4_ram_file_class in((void*)(data + 1), (int32_t)size - 1, 0);
    if (data[0] & 1) {
        UserList users;
        users.fromNetwork(in);
        UserMeta* first = nullptr;
        for (UserMeta* u : LLView<UserMeta>(users.getList())) {
            if (!first) first = u;
            u->isSameUser(first);
            users.findByHash(u->hash);
        }
        if (first) users.forgetLowId(first->serverIp, first->ip);
        i4_ram_file_class out(nullptr, 0, 256);
        users.toNetwork(out);
        users.toBytes(out);
        i4_free(out.get_buffer());
        users.deleteAll();
        return 0;
    }
    UserMeta user;
    if (!user.fromNetwork(in)) return 0;
    user.getName();
    user.print();
    UserMeta copy(user);
    if (!copy.isSameUser(&user) && !UserMeta::isLowId(user.ip)) __builtin_trap();
    sendBackTwice(user);
    return 0;
}
