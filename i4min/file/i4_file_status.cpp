#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "i4min/file/i4_file_status.h"

#include <sys/stat.h>

int i4_get_status(const char* name, i4_file_status& status) {
    struct stat st;
    if (!name || ::stat(name, &st) != 0) {
        status.is_dir = 0;
        status.is_regular = 0;
        return 0;
    }
    status.modified = st.st_mtime;
    status.accessed = st.st_atime;
    status.changed = st.st_ctime;
    status.is_dir = S_ISDIR(st.st_mode) ? 1 : 0;
    status.size = st.st_size;
    status.is_regular = S_ISREG(st.st_mode) ? 1 : 0;
    return 1;
}
