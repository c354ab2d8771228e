#include "transfer/download/CompFilePart.h"

#include <stdio.h>
#include <time.h>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "meta/Meta.h"
#include "meta/MetaTag.h"

const char* CompFilePart::TIME_TAG_FORMAT = "%dmod";

namespace {

bool fileTime(const char* path, int64_t& out) {
    i4_file_status st;
    if (!i4_get_status(path, st) || st.is_dir) return false;
    out = st.modified;
    return true;
}

}  // namespace

CompFilePart::CompFilePart(const char* name_, uint32_t start_, uint32_t end_, int64_t storedTime)
    : FilePart(name_, start_, end_, start_, true) {
    int64_t t;
    if (storedTime >= 0 && fileTime(name.c_str(), t) && (uint32_t)t == (uint32_t)storedTime)
        stale = false;
}

CompFilePart::~CompFilePart() {
    close();
}

bool CompFilePart::makeTempFile() {
    if (!file) file = i4_open(name.c_str(), I4_READ | I4_WRITE);
    return file != nullptr;
}

void CompFilePart::remove() {
    close();
    i4_unlink(name.c_str());
}

void CompFilePart::saveTag(Meta* record, int index) {
    int64_t t;
    if (!fileTime(name.c_str(), t)) return;
    // Times are kept in whole seconds: a write later in the same second as
    // the file's time would not show, so such a file is hashed again instead.
    if (t >= (int64_t)time(nullptr) - 1) return;
    char tagName[32];
    snprintf(tagName, sizeof tagName, TIME_TAG_FORMAT, index);
    int32_t v = (int32_t)(uint32_t)t;
    record->setTag(tagName, &v, MetaTag::INT);
}

bool CompFilePart::close() {
    if (!file) return false;
    delete file;
    file = nullptr;
    return true;
}
