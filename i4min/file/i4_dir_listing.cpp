#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "i4min/file/i4_dir_listing.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <string>
#include <sys/stat.h>

i4_dir_listing::i4_dir_listing() {
    file_names.reserve(256);
    dir_names.reserve(256);
    statuses.reserve(256);
}

int i4_list_directory(const char* path, i4_dir_listing& listing, bool with_statuses) {
    DIR* dir = path ? ::opendir(path) : nullptr;
    if (!dir) return 0;
    std::vector<std::string> names;
    while (struct dirent* e = ::readdir(dir)) names.push_back(e->d_name);
    // Looked up relative to the directory's own descriptor, so the current
    // directory of the other threads is never touched.
    int fd = ::dirfd(dir);
    for (const std::string& name : names) {
        struct stat st;
        bool known = ::fstatat(fd, name.c_str(), &st, 0) == 0;
        if (known && S_ISDIR(st.st_mode)) {
            listing.dir_names.push_back(i4_string(name.c_str()));
            continue;
        }
        listing.file_names.push_back(i4_string(name.c_str()));
        if (with_statuses) {
            i4_file_status s = {0, 0, 0, 0, 0, 0};
            if (known) {
                s.modified = st.st_mtime;
                s.accessed = st.st_atime;
                s.changed = st.st_ctime;
                s.size = st.st_size;
                s.is_regular = S_ISREG(st.st_mode) ? 1 : 0;
            }
            listing.statuses.push_back(s);
        }
    }
    ::closedir(dir);
    return 1;
}

int i4_is_listable_directory(const char* path) {
    DIR* dir = path ? ::opendir(path) : nullptr;
    if (!dir) return 0;
    ::closedir(dir);
    return 1;
}

void i4_sort_listing(i4_dir_listing& listing, int key) {
    size_t n = listing.file_names.size();
    if (listing.statuses.size() != n) return;
    auto field = [key](const i4_file_status& s) -> int64_t {
        switch (key) {
        case I4_SORT_MODIFIED:
            return s.modified;
        case I4_SORT_ACCESSED:
            return s.accessed;
        case I4_SORT_CHANGED:
            return s.changed;
        default:
            return s.size;
        }
    };
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        return field(listing.statuses[x]) < field(listing.statuses[y]);
    });
    std::vector<i4_string> names;
    std::vector<i4_file_status> statuses;
    names.reserve(n);
    statuses.reserve(n);
    for (size_t i : order) {
        names.push_back(listing.file_names[i]);
        statuses.push_back(listing.statuses[i]);
    }
    listing.file_names.swap(names);
    listing.statuses.swap(statuses);
}
