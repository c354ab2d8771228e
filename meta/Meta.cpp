#include "meta/Meta.h"

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"
#include "meta/MetaOutput.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "util/LLView.h"

namespace {
// The smallest tag: type, an empty name and a one-byte value.
const int64_t MIN_TAG_BYTES = 4;
}  // namespace

Meta::Meta() {}

Meta::~Meta() {
    clearTags();
}

bool Meta::toNetwork(i4_file& f) {
    return Meta::toBytes(f);
}

bool Meta::toBytes(i4_file& f) {
    return checked([&] { return saveList(&tags, f); });
}

bool Meta::fromNetwork(i4_file& f) {
    return readTags(f, true);
}

bool Meta::fromDisk(i4_file& f) {
    return readTags(f, false);
}

bool Meta::fromDiskKeepingPart(i4_file& f) {
    return readTags(f, false, true);
}

bool Meta::readTags(i4_file& f, bool fromWire, bool keepPart) {
    // The reader's own lines are for debugging: the code that loads a file
    // says what was wrong with it, once.
    const char* message = fromWire ? "ERROR: Meta::fromNetwork()\n" : "ERROR: Meta::fromDisk()\n";
    clearTags();
    bool damaged = false;
    bool ok = checked([&] {
        // A count no input could hold is a damaged record, like a tag that cannot
        // be read; one who keeps the part reads tag by tag until the damage shows.
        i4_field_reader in(f);
        uint32_t count = in.u32();
        if (count > MAX_TAGS || (!keepPart && (int64_t)count * MIN_TAG_BYTES > in.left())) {
            damaged = true;
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            MetaTag* tag = MetaTag::readTag(f, fromWire);
            if (!tag) {
                damaged = true;
                return false;
            }
            tags.append(tag);
        }
        return true;
    });
    if (damaged) {
        metaDebug(message);
    } else if (!ok && !fromWire && !keepPart) {
        // Short input: a record read from disk keeps nothing of it.
        clearTags();
    }
    return ok;
}

int Meta::size() {
    return listSize(&tags);
}

bool Meta::copyFrom(Meta* other) {
    if (!other) return false;
    if (other == this) return true;
    clearTags();
    for (MetaTag* tag : LLView<MetaTag>(&other->tags)) tags.append(tag->clone());
    return true;
}

MetaTag* Meta::findTag(const char* name) {
    if (!name) return nullptr;
    for (MetaTag* tag : LLView<MetaTag>(tags)) {
        const char* n = tag->getStoredName();
        if (n && i4_strcmp(n, name) == 0) return tag;
    }
    return nullptr;
}

void Meta::addTag(MetaTag* tag) {
    tags.append(tag);
}

bool Meta::addTagIfMissing(uint32_t type, const char* name) {
    if (findTag(name)) return false;
    MetaTag* tag = MetaTag::makeTag(type, name, nullptr);
    if (!tag) return false;
    tags.append(tag);
    return true;
}

void Meta::removeTag(const char* name) {
    MetaTag* tag = findTag(name);
    if (tag) {
        tags.remove(tag);
        delete tag;
    }
}

void Meta::clearTags() {
    while (MetaTag* tag = (MetaTag*)tags.removeAt(0)) delete tag;
}

bool Meta::setTagValue(const char* name, const void* value) {
    MetaTag* tag = findTag(name);
    if (!tag) return false;
    tag->setValue(value);
    return true;
}

void Meta::putTag(MetaTag* old, MetaTag* tag) {
    if (!tag) return;
    if (!old) {
        tags.append(tag);
        return;
    }
    int i = 0;
    for (MetaTag* t : LLView<MetaTag>(tags)) {
        if (t == old) {
            tags.set(i, tag);
            delete old;
            return;
        }
        i++;
    }
}

void Meta::setTag(const char* name, const void* value, uint32_t type) {
    // A tag read from a file may be of another kind than its name suggests: the
    // value is never given to a tag that would read it as the wrong kind.
    MetaTag* tag = findTag(name);
    if (tag && tag->getType() == type)
        tag->setValue(value);
    else
        putTag(tag, MetaTag::makeTag(type, name, value));
}

void* Meta::getTagValue(const char* name) {
    MetaTag* tag = findTag(name);
    return tag ? tag->getValue() : nullptr;
}

bool Meta::findTagInt(const char* name, int32_t* out) {
    MetaTag* tag = findTag(name);
    if (!tag || tag->getType() != MetaTag::INT || !out) return false;
    *out = *(const int32_t*)tag->getValue();
    return true;
}

int32_t Meta::getTagInt(const char* name) {
    int32_t v = 0;
    findTagInt(name, &v);
    return v;
}

float Meta::getTagFloat(const char* name) {
    MetaTag* tag = findTag(name);
    return tag && tag->getType() == MetaTag::FLOAT ? *(const float*)tag->getValue() : 0.0f;
}

const char* Meta::getTagText(const char* name, char* buf, int n) {
    if (!buf || n < 1) return buf;
    buf[0] = 0;
    MetaTag* tag = findTag(name);
    if (tag && !tag->getValueText(buf, n)) buf[0] = 0;
    return buf;
}

static const char* specialName(int id) {
    const SpecialTagInfo* info = SpecialTagInfo::get(id);
    return info ? info->tagName : nullptr;
}

void Meta::setSpecialTag(int id, const void* value) {
    const SpecialTagInfo* info = SpecialTagInfo::get(id);
    if (!info) return;
    MetaTag* tag = findTag(info->tagName);
    if (tag && tag->getType() == info->valueType)
        tag->setValue(value);
    else
        putTag(tag, MetaTag::makeSpecialTag(id, value));
}

void* Meta::getSpecialValue(int id) {
    return getTagValue(specialName(id));
}
int32_t Meta::getSpecialInt(int id) {
    return getTagInt(specialName(id));
}
void Meta::removeSpecialTag(int id) {
    removeTag(specialName(id));
}

const char* Meta::getSpecialTagText(int id, char* buf, int n) {
    return getTagText(specialName(id), buf, n);
}

const char* Meta::getName() {
    MetaTag* tag = findTag(specialName(SpecialTagInfo::NAME));
    const char* name =
        tag && tag->getType() == MetaTag::STRING ? (const char*)tag->getValue() : nullptr;
    if (!name) {
        setSpecialTag(SpecialTagInfo::NAME, "????");
        name = (const char*)getSpecialValue(SpecialTagInfo::NAME);
    }
    return name;
}

void Meta::setName(const char* name) {
    setSpecialTag(SpecialTagInfo::NAME, name);
}

uint32_t Meta::getFileSize() {
    return (uint32_t)getSpecialInt(SpecialTagInfo::SIZE);
}

void Meta::setFileSize(uint32_t size) {
    int32_t v = (int32_t)size;
    setSpecialTag(SpecialTagInfo::SIZE, &v);
}

void Meta::dump(MetaOutput* out) {
    if (!out) out = theMetaOutput;
    for (MetaTag* tag : LLView<MetaTag>(tags)) {
        char value[255];
        const char* text = tag->getValueText(value, sizeof value);
        i4_string line;
        line.format("%s: %s\n", tag->getName(), text);
        out->printFlush(line.c_str());
    }
}
