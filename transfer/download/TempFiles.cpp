#include "transfer/download/TempFiles.h"

#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/threads/linux/i4_lock.h"
#include "transfer/share/TransferOptions.h"

TempFiles theTempFiles;

namespace {

// Numbers tried by one newName: far more than a temporary directory holds.
const uint32_t MAX_NAME_TRIES = 1000000;
// "2_" up to this before a move gives up.
const int MAX_MOVE_PREFIX = 999;

bool exists(const char* path) {
    i4_file_status st;
    return i4_get_status(path, st) != 0;
}

}  // namespace

TempFiles::TempFiles() : counter(0) {}

void TempFiles::reset() {
    i4_lock hold(&lock);
    counter = 0;
}

uint32_t TempFiles::newName(i4_string& out, const char* suffix) {
    if (!suffix) suffix = ".part";
    i4_string dir = theTransferOptions.getTemp();
    uint32_t found = 0;
    {
        i4_lock hold(&lock);
        for (uint32_t tries = 0; tries < MAX_NAME_TRIES && !found; tries++) {
            if (++counter == 0) counter = 1;
            i4_string data, record, backup;
            data.format("%s/%u%s", dir.c_str(), counter, suffix);
            record.format("%s/%u.part.met", dir.c_str(), counter);
            backup.format("%s/%u.part.met.bak", dir.c_str(), counter);
            // A name whose record or backup is left over would mix two downloads.
            if (!exists(data.c_str()) && !exists(record.c_str()) && !exists(backup.c_str()))
                found = counter;
        }
    }
    if (found) out.format("%u%s", found, suffix);
    return found;
}

namespace {

// The k-th name (from 1) that a finished file may take in the directory.
void movedName(i4_string& out, const char* targetDir, const i4_string& safe, int k) {
    if (k == 1)
        out.format("%s/%s", targetDir, safe.c_str());
    else
        out.format("%s/%d_%s", targetDir, k, safe.c_str());
}

}  // namespace

bool TempFiles::movedHere(const char* name, const char* targetDir, int64_t size) {
    i4_string safe, path;
    i4_safe_component(name, safe, MAX_COMPONENT);
    for (int k = 1; k <= MAX_MOVE_PREFIX; k++) {
        movedName(path, targetDir, safe, k);
        i4_file_status st;
        if (i4_get_status(path.c_str(), st) && st.is_regular && st.size == size) return true;
    }
    return false;
}

bool TempFiles::moveFile(const char* source, const char* name, const char* targetDir,
                         i4_string& out) {
    i4_string safe;
    i4_safe_component(name, safe, MAX_COMPONENT);
    for (int k = 1; k <= MAX_MOVE_PREFIX; k++) {
        movedName(out, targetDir, safe, k);
        int r = i4_rename_no_replace(source, out.c_str());
        if (r == 0) return true;
        if (r != 2) break;
    }
    theUI->printLine("%s %s %s", source, theXMLStringTable.get(41), out.c_str());
    out = source;
    return false;
}
