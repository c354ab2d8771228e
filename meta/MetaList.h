// A lockable list of records. The list's own mutex guards its nodes; a walker holds
// lock() and uses LL::next and the NoLock operations. The list does not own its
// records: deleteAll deletes them, the destructor only frees the nodes.
//
// Disk form (list files such as server.met, known.met, friend.met):
//   offset  width  field
//   0       1      0x0E
//   1       4      record count n
//   5       ...    n records in their disk form
// Wire form: the same without the 0x0E byte, records in their wire form.
#pragma once

#include <string>
#include <vector>

#include "i4min/threads/linux/i4_mutex.h"
#include "meta/Serializable.h"
#include "util/LLsafe.h"

class Meta;
class MetaOutput;

class MetaList : public Serializable {
public:
    enum { LIST_MARK = 0x0E };

    MetaList();
    virtual ~MetaList();

    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    bool toBytes(i4_file& f) override;
    // Appends what it reads; a damaged record stops the read (false) and the records
    // before it stay.
    bool fromDisk(i4_file& f) override;
    int size() override;

    // A new, empty record of the list's kind.
    virtual Meta* newMeta();
    virtual bool load(const char* path);
    // With safe set the file is replaced whole or not at all. Saves of one list from two
    // threads take turns, so the file ends with the later content.
    virtual bool save(const char* path, bool safe);
    // The bytes a safe save writes; false when a record cannot be put into bytes.
    bool fileBytes(std::string& out);
    // Replaces this list's pointers with copies of the other's records (the old
    // records are not deleted). Copying a list onto itself changes nothing.
    virtual void copyFrom(MetaList* other);
    // Removes every record pointer that the other list holds (records not deleted).
    virtual void removeAll(MetaList* other);

    void deleteAll();
    void clear();
    // Appends the other's record pointers (shared, not copied), holding both locks.
    void appendAll(MetaList* other);
    void add(Meta* m);
    Meta* getAt(int index);
    LLsafe* getList() { return &list; }
    void lock() { list.lock(); }
    void unlock() { list.unlock(); }
    void dump(MetaOutput* out = nullptr);

protected:
    bool readRecords(i4_file& f, bool fromWire);

    LLsafe list;
    i4_mutex saving;
};

// Listings of records, each line through the sink's printLine (the active sink for
// null).
//
// The columns of a table: stored names of the first record's tags.
typedef std::vector<std::string> TagColumns;
// The console table of a list: a header of the first record's display names, then
// one line per record numbered from 1; "None." for an empty list.
void printMetaList(MetaList* list, MetaOutput* out = nullptr);
// The header line: the display name and a tab for each named tag of the record,
// at most 254; their stored names become the columns.
void printTagHeader(Meta* record, TagColumns& columns, MetaOutput* out = nullptr);
// "(<index + 1>) " and the record's text of each column and a tab; an empty
// field where the record lacks the tag.
void printTagRow(Meta* record, const TagColumns& columns, int index, MetaOutput* out = nullptr);
// "Meta Information:", then "<display name>:\t\t<value>" for each tag; "None."
// for null.
void printMetaInfo(Meta* record, MetaOutput* out = nullptr);
