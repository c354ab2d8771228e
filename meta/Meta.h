// A record: an ordered list of tags that it owns. No lock: a record is changed
// only by the thread that holds it or under the lock of the list that holds it.
//
// Byte form, disk and wire alike:
//   offset  width  field
//   0       4      tag count n
//   4       ...    n tags (MetaTag)
// Names are compared exactly, as zero-terminated bytes; lookups find the first tag
// of a name, and a tag without a name never matches.
#pragma once

#include <stdint.h>

#include "meta/Serializable.h"
#include "util/LL.h"

class MetaOutput;
class MetaTag;

class Meta : public Serializable {
public:
    // A count above what the input could hold is a damaged record; this caps the
    // rest.
    enum { MAX_TAGS = 0xFFFF };

    Meta();
    virtual ~Meta();

    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    // The disk form, but a record cut short or damaged keeps the tags read
    // before the damage (the answer is false all the same): for a file whose
    // first part is worth more than nothing.
    bool fromDiskKeepingPart(i4_file& f);
    int size() override;
    // Replaces the tags with clones of the other's; false (nothing done) for null.
    virtual bool copyFrom(Meta* other);

    MetaTag* findTag(const char* name);
    void addTag(MetaTag* tag);
    bool addTagIfMissing(uint32_t type, const char* name);
    void removeTag(const char* name);
    void clearTags();
    bool setTagValue(const char* name, const void* value);
    // A tag of that name but another kind is replaced in its place.
    void setTag(const char* name, const void* value, uint32_t type);
    void* getTagValue(const char* name);
    bool findTagInt(const char* name, int32_t* out);
    int32_t getTagInt(const char* name);
    float getTagFloat(const char* name);
    // The tag's text form cut to buf; an empty text when it is absent.
    const char* getTagText(const char* name, char* buf, int n);

    void setSpecialTag(int id, const void* value);
    void* getSpecialValue(int id);
    int32_t getSpecialInt(int id);
    void removeSpecialTag(int id);
    const char* getSpecialTagText(int id, char* buf, int n);

    // Special tag 1; a record without one first gets the name "????".
    const char* getName();
    void setName(const char* name);
    // Special tag 2, read unsigned; 0 when absent.
    uint32_t getFileSize();
    void setFileSize(uint32_t size);

    // "<display name>: <value>" for each tag, through the sink (the active one for null).
    void dump(MetaOutput* out = nullptr);
    LL* getTags() { return &tags; }

protected:
    // Puts tag in old's place (deleting old), or appends it when old is null.
    void putTag(MetaTag* old, MetaTag* tag);
    // Reads count and tags; a damaged tag or count fails the record.
    bool readTags(i4_file& f, bool fromWire, bool keepPart = false);

    LL tags;
};
