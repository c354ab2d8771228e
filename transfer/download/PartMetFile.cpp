#include "transfer/download/PartMetFile.h"

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/string/i4_string.h"
#include "meta/FileMeta.h"
#include "transfer/download/PartialFile.h"

int PartMetFile::read(i4_file& f, FileMeta& record) {
    int version = 0;
    bool ok = Serializable::checked([&] {
        i4_field_reader in(f);
        version = in.u8();
        if (version != PartialFile::VERSION_SINGLE && version != PartialFile::VERSION_PARTS)
            return false;
        // The record must be the known-file layout itself, not the older one.
        int64_t at = in.position();
        return in.u8() == FileMeta::KNOWN_VERSION && f.seek(at) == at && record.fromDisk(f);
    });
    return ok ? version : 0;
}

int PartMetFile::read(const char* path, FileMeta& record) {
    i4_safe_file safe(path, I4_READ);
    int version = safe.get() ? read(*safe.get(), record) : 0;
    // The last good copy, left by a save that did not finish.
    if (!version && !safe.reading_backup() && safe.use_backup())
        version = read(*safe.get(), record);
    if (version) record.setPath(path);
    return version;
}
