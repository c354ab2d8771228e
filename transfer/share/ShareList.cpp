#include "transfer/share/ShareList.h"

#include "core/UIGateway.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "transfer/share/TransferOptions.h"
#include "util/LLView.h"

const char* const ShareList::INCOMPLETE = "!Incomplete Files";

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

ShareList::ShareList() : incomplete(INCOMPLETE) {}

ShareList::~ShareList() {
    clearNoLock();
}

bool ShareList::samePath(const char* a, const char* b) {
    if (!a || !b) return false;
    int la = i4_strlen(a), lb = i4_strlen(b);
    int diff = la - lb;
    if (diff >= 2 || diff <= -2) return false;
    if (diff == 1 && !isSeparator(a[la - 1])) return false;
    if (diff == -1 && !isSeparator(b[lb - 1])) return false;
    int n = la < lb ? la : lb;
    for (int i = 0; i < n; ++i) {
        if (isSeparator(a[i]) || isSeparator(b[i])) {
            if (!isSeparator(a[i]) || !isSeparator(b[i])) return false;
        } else if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

ShareDirectory* ShareList::findNoLock(const char* path) {
    for (ShareDirectory* d : LLView<ShareDirectory>(directories))
        if (samePath(d->getPath().c_str(), path)) return d;
    return nullptr;
}

bool ShareList::addNoLock(const char* path, bool check) {
    if (check) {
        if (!i4_is_listable_directory(path)) return false;
        if (findNoLock(path)) {
            theUI->print("directory already added.\n");
            return false;
        }
    }
    directories.append(new ShareDirectory(path));
    return true;
}

bool ShareList::addDirectory(const char* path, bool check) {
    i4_lock hold(&lock);
    return addNoLock(path, check);
}

void ShareList::removeDirectory(const char* path) {
    i4_lock hold(&lock);
    ShareDirectory* d = findNoLock(path);
    if (!d) return;
    directories.remove(d);
    delete d;
}

void ShareList::clearNoLock() {
    while (ShareDirectory* d = (ShareDirectory*)directories.removeAt(0)) delete d;
    incomplete.getFiles()->clear();
}

void ShareList::clear() {
    i4_lock hold(&lock);
    clearNoLock();
}

void ShareList::setDirectories(const std::vector<i4_string>& paths) {
    i4_string incoming = theTransferOptions.getIncoming();
    i4_lock hold(&lock);
    clearNoLock();
    bool hasIncoming = false;
    for (const i4_string& p : paths) {
        if (samePath(p.c_str(), incoming.c_str())) hasIncoming = true;
        addNoLock(p.c_str(), true);
    }
    if (!hasIncoming) addNoLock(incoming.c_str(), false);
}

void ShareList::readPaths(i4_file& f, std::vector<i4_string>& out) {
    while (f.tell() < f.size()) out.push_back(i4_string(f));
}

void ShareList::load(const char* path) {
    std::vector<i4_string> paths;
    {
        i4_safe_file file(path, I4_READ);
        if (file.get()) {
            try {
                readPaths(*file.get(), paths);
            } catch (const i4_err&) {
                theUI->debug("Error loading shared directory list.\n");
            }
        }
    }
    i4_string incoming = theTransferOptions.getIncoming();
    i4_lock hold(&lock);
    bool hasIncoming = false;
    for (const i4_string& p : paths) {
        if (samePath(p.c_str(), incoming.c_str())) hasIncoming = true;
        if (!p.is_empty()) addNoLock(p.c_str(), true);
    }
    if (!hasIncoming) addNoLock(incoming.c_str(), false);
}

bool ShareList::fileBytes(std::string& out) {
    i4_ram_file_class content(nullptr, 0, 1024);
    bool ok = true;
    try {
        i4_lock hold(&lock);
        for (ShareDirectory* d : LLView<ShareDirectory>(directories)) d->getPath().write(content);
    } catch (const i4_err&) {
        ok = false;
    }
    if (ok) out.assign((const char*)content.get_buffer(), (size_t)content.size());
    i4_free(content.get_buffer());
    return ok;
}

bool ShareList::save(const char* path) {
    std::string content;
    bool ok = fileBytes(content) && i4_save_whole(path, content.data(), (int32_t)content.size());
    if (!ok) theUI->debug("**I4 error in ShareList::save()\n");
    return ok;
}

bool ShareList::addFile(const char* directory, FileMeta* record) {
    if (!record) {
        theUI->printLine("attempting to add null meta to shared directory");
        return false;
    }
    if (directory && i4_strcmp(directory, INCOMPLETE) == 0) {
        incomplete.getFiles()->add(record);
        return true;
    }
    i4_string incoming = theTransferOptions.getIncoming();
    i4_lock hold(&lock);
    ShareDirectory* d = findNoLock(directory);
    if (!d && samePath(directory, incoming.c_str())) {
        addNoLock(incoming.c_str(), false);
        d = findNoLock(directory);
    }
    if (!d) return false;
    d->getFiles()->add(record);
    return true;
}

void ShareList::removeFile(const char* directory, FileMeta* record) {
    i4_lock hold(&lock);
    ShareDirectory* d = directory ? findNoLock(directory) : nullptr;
    FileList* files = d ? d->getFiles() : incomplete.getFiles();
    files->getList()->remove(record);
}

void ShareList::clearFiles() {
    i4_lock hold(&lock);
    for (ShareDirectory* d : LLView<ShareDirectory>(directories)) d->getFiles()->clear();
    incomplete.getFiles()->clear();
}

FileList* ShareList::findDirectoryFiles(const char* name) {
    if (name && i4_strcmp(name, INCOMPLETE) == 0) return incomplete.getFiles();
    i4_lock hold(&lock);
    ShareDirectory* d = findNoLock(name);
    return d ? d->getFiles() : nullptr;
}

void ShareList::directoryNames(std::vector<i4_string>& out) {
    i4_lock hold(&lock);
    for (ShareDirectory* d : LLView<ShareDirectory>(directories)) out.push_back(d->getPath());
}

bool ShareList::isShared(const char* path) {
    i4_lock hold(&lock);
    return findNoLock(path) != nullptr;
}

int ShareList::count() {
    i4_lock hold(&lock);
    return directories.count();
}
