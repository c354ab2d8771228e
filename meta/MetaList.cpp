#include "meta/MetaList.h"

#include <memory>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/Meta.h"
#include "meta/MetaOutput.h"
#include "meta/MetaTag.h"
#include "util/LLView.h"

namespace {

// Two list locks taken in one global order so that two threads locking the same
// pair never wait on each other.
struct ListPair {
    LLsafe* a;
    LLsafe* b;
    void lock() {
        if (a == b) {
            a->lock();
        } else if (a < b) {
            a->lock();
            b->lock();
        } else {
            b->lock();
            a->lock();
        }
    }
    void unlock() {
        a->unlock();
        if (a != b) b->unlock();
    }
};

}  // namespace

MetaList::MetaList() {}

MetaList::~MetaList() {}

Meta* MetaList::newMeta() {
    return new Meta();
}

bool MetaList::toNetwork(i4_file& f) {
    return saveListNetwork(&list, f);
}

bool MetaList::toBytes(i4_file& f) {
    return checked([&] {
        i4_field_writer(f).u8(LIST_MARK);
        return saveList(&list, f);
    });
}

int MetaList::size() {
    i4_lock hold(&list);
    return listSize(&list);
}

bool MetaList::fromDisk(i4_file& f) {
    return readRecords(f, false);
}

bool MetaList::fromNetwork(i4_file& f) {
    return readRecords(f, true);
}

bool MetaList::readRecords(i4_file& f, bool fromWire) {
    i4_field_reader in(f);
    uint32_t count = 0;
    if (!checked([&] {
            if (!fromWire && in.u8() != LIST_MARK) return false;
            count = in.u32();
            return true;
        }))
        return false;
    // A count reading negative is a damaged list. A count larger than the input could
    // hold is a list cut short: the records before the cut are kept. The walk stops at
    // the first record that cannot be read, and each one read takes at least its 4-byte
    // tag count, so the input bounds it whatever the count says.
    uint32_t failedAt = 0;
    bool ok = (int32_t)count >= 0;
    for (uint32_t i = 0; ok && i < count; ++i) {
        std::unique_ptr<Meta> m(newMeta());
        if (!checked([&] { return fromWire ? m->fromNetwork(f) : m->fromDisk(f); })) {
            failedAt = i;
            ok = false;
            break;
        }
        list.append(m.release());
    }
    if (!ok) {
        metaDebug("meta #:%d, n=%d\n", (int)failedAt, (int)count);
        metaDebug(fromWire ? "ERROR: MetaList::fromNetwork()\n" : "ERROR: MetaList::fromDisk()\n");
    }
    return ok;
}

bool MetaList::load(const char* path) {
    std::unique_ptr<i4_file> f(i4_open(path, I4_READ));
    return f && checked([&] { return fromDisk(*f); });
}

bool MetaList::fileBytes(std::string& out) {
    i4_ram_file_class buf(nullptr, 0, 64 * 1024);
    bool ok = checked([&] { return toBytes(buf); });
    if (ok) out.assign((const char*)buf.get_buffer(), (size_t)buf.size());
    i4_free(buf.get_buffer());
    return ok;
}

bool MetaList::save(const char* path, bool safe) {
    i4_lock turn(&saving);
    if (safe) {
        // The whole list is built in memory first: a record that fails to write must
        // not replace the old file with a shortened one.
        std::string bytes;
        return fileBytes(bytes) && i4_save_whole(path, bytes.data(), (int32_t)bytes.size());
    }
    std::unique_ptr<i4_file> f(i4_open(path, I4_WRITE | I4_TRUNCATE));
    return f && checked([&] { return toBytes(*f); });
}

void MetaList::copyFrom(MetaList* other) {
    if (!other || other == this) return;
    ListPair both{&list, &other->list};
    i4_lock hold(&both);
    list.clearNoLock();
    for (Meta* m : LLView<Meta>(&other->list)) {
        Meta* copy = newMeta();
        copy->copyFrom(m);
        list.appendNoLock(copy);
    }
}

void MetaList::removeAll(MetaList* other) {
    if (!other) return;
    ListPair both{&list, &other->list};
    i4_lock hold(&both);
    if (other == this) {
        list.clearNoLock();
    } else {
        for (void* m : LLView<void>(&other->list)) list.removeNoLock(m);
    }
}

void MetaList::deleteAll() {
    i4_lock hold(&list);
    for (Meta* m : LLView<Meta>(list)) delete m;
    list.clearNoLock();
}

void MetaList::clear() {
    list.clear();
}

void MetaList::appendAll(MetaList* other) {
    if (!other || other == this) return;
    // The other list is walked, so it is held too: a thread appending to or removing
    // from it would otherwise free a node under the walk.
    ListPair both{&list, &other->list};
    i4_lock hold(&both);
    for (void* m : LLView<void>(&other->list)) list.appendNoLock(m);
}

void MetaList::add(Meta* m) {
    list.append(m);
}

Meta* MetaList::getAt(int index) {
    return (Meta*)list.get(index);
}

void MetaList::dump(MetaOutput* out) {
    if (!out) out = theMetaOutput;
    i4_lock hold(&list);
    int i = 0;
    for (Meta* m : LLView<Meta>(list)) {
        i4_string line;
        line.format("\nMeta (%d)", i++);
        out->printLine(line.c_str());
        m->dump(out);
    }
}

namespace {
enum { MAX_COLUMNS = 254, MAX_FIELD = 128 };

// A name or a value is one cell of a listing: a line end or a tab in it, as in any name
// from the network, would make rows or columns that are not there.
void appendCell(i4_string& line, const char* text) {
    line.append(i4_masked_line(text ? text : "").c_str());
}

void printNone(MetaOutput* out) {
    out->printLine(out->localise("STRINGS_NONE", "None."));
}
}  // namespace

void printMetaList(MetaList* ml, MetaOutput* out) {
    if (!out) out = theMetaOutput;
    if (!ml) {
        printNone(out);
        return;
    }
    LLsafe* list = ml->getList();
    {
        i4_lock hold(list);
        if (Meta* first = (Meta*)list->getAt(0)) {
            TagColumns columns;
            printTagHeader(first, columns, out);
            int row = 0;
            for (Meta* m : LLView<Meta>(list)) printTagRow(m, columns, row++, out);
            return;
        }
    }
    printNone(out);
}

// Lines grow with what they hold: no column count or field width can overrun them.
void printTagHeader(Meta* record, TagColumns& columns, MetaOutput* out) {
    if (!out) out = theMetaOutput;
    columns.clear();
    i4_string line("");
    for (MetaTag* tag : LLView<MetaTag>(record->getTags())) {
        if ((int)columns.size() == MAX_COLUMNS) break;
        const char* shown = tag->getName();
        if (!shown) continue;
        columns.emplace_back(tag->getStoredName());
        appendCell(line, shown);
        line.append("\t");
    }
    out->printLine(line.c_str());
}

void printTagRow(Meta* record, const TagColumns& columns, int index, MetaOutput* out) {
    if (!out) out = theMetaOutput;
    i4_string line;
    line.format("(%d) ", index + 1);
    for (const std::string& column : columns) {
        char field[MAX_FIELD];
        appendCell(line, record->getTagText(column.c_str(), field, sizeof field));
        line.append("\t");
    }
    out->printLine(line.c_str());
}

void printMetaInfo(Meta* record, MetaOutput* out) {
    if (!out) out = theMetaOutput;
    if (!record) {
        printNone(out);
        return;
    }
    out->printLine(out->localise("metaInfo", "Meta Information:"));
    for (MetaTag* tag : LLView<MetaTag>(record->getTags())) {
        char value[MAX_FIELD];
        const char* text = tag->getValueText(value, sizeof value);
        i4_string line;
        appendCell(line, tag->getName());
        line.append(":\t\t");
        appendCell(line, text);
        out->printLine(line.c_str());
    }
}
