// Threads: any; a listing is filled and read by one thread at a time.
#pragma once

#include <vector>

#include "i4min/file/i4_file_status.h"
#include "i4min/string/i4_string.h"

// The result of listing a directory.
struct i4_dir_listing {
    i4_dir_listing();

    std::vector<i4_string> file_names;     // in the directory's order
    std::vector<i4_string> dir_names;      // "." and ".." included
    std::vector<i4_file_status> statuses;  // one per file name, when asked for
};

// Lists the path into the listing (appending). 1 on success, 0 when the
// path cannot be opened as a directory. Entries are looked up relative to
// the listed directory without changing the current directory.
int i4_list_directory(const char* path, i4_dir_listing& listing, bool with_statuses);

// 1 when i4_list_directory would succeed on the path, without reading its entries.
int i4_is_listable_directory(const char* path);

enum { I4_SORT_MODIFIED = 0, I4_SORT_ACCESSED = 1, I4_SORT_CHANGED = 2, I4_SORT_SIZE = 3 };
// Sorts the file names and their statuses together, ascending by one
// status field. Nothing happens when the statuses were not filled.
void i4_sort_listing(i4_dir_listing& listing, int key);
