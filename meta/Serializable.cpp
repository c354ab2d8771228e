#include "meta/Serializable.h"

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/MetaOutput.h"
#include "util/LLView.h"
#include "util/LLsafe.h"

int64_t Serializable::bytesLeft(i4_file& f) {
    return i4_field_reader(f).left();
}

namespace {

typedef bool (Serializable::*Writer)(i4_file&);

bool saveLocked(LLsafe* list, i4_file& f, Writer write, const char* message) {
    i4_lock hold(list);
    bool ok = true;
    try {
        if (f.write_32((uint32_t)list->countNoLock()) != 4) ok = false;
        for (Serializable* item : LLView<Serializable>(list)) {
            if (!(item->*write)(f)) {
                metaPrint(message);
                ok = false;
            }
        }
    } catch (const i4_err&) {
        ok = false;
    }
    return ok;
}

bool savePlain(LL* list, i4_file& f, Writer write) {
    if (f.write_32((uint32_t)list->countNoLock()) != 4) return false;
    for (Serializable* item : LLView<Serializable>(list)) {
        if (!(item->*write)(f)) {
            metaPrint("ERROR: Serializable::saveList()3\n");
            return false;
        }
    }
    return true;
}

}  // namespace

bool Serializable::saveList(LLsafe* list, i4_file& f) {
    return saveLocked(list, f, &Serializable::toBytes, "ERROR: Serializable::saveList()\n");
}

bool Serializable::saveListNetwork(LLsafe* list, i4_file& f) {
    return saveLocked(list, f, &Serializable::toNetwork, "ERROR: Serializable::saveList()2\n");
}

bool Serializable::saveList(LL* list, i4_file& f) {
    return savePlain(list, f, &Serializable::toBytes);
}

bool Serializable::saveListNetwork(LL* list, i4_file& f) {
    return savePlain(list, f, &Serializable::toNetwork);
}

int Serializable::listSize(LL* list) {
    int total = 4;
    for (Serializable* item : LLView<Serializable>(list)) total += item->size();
    return total;
}
