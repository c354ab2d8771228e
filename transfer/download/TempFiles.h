// Any thread: newName holds the mutex, so two downloads made at once never get
// one number; moveFile keeps no state.
//
// Names of the temporary files and the move of finished files.
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"

class TempFiles {
public:
    // A name's component in the temporary and incoming directories keeps at
    // most this many bytes, leaving room for the "k_" and ".k" that make it free.
    enum { MAX_COMPONENT = 200 };

    TempFiles();

    // The next "N<suffix>" (N counting on from the last one of this run) for
    // which N.part, N.part.met and N.part.met.bak are all free in the
    // temporary directory; N, or 0 when none is found.
    uint32_t newName(i4_string& out, const char* suffix = ".part");

    // Moves the file at source into the directory under the last component of
    // name made safe, or "k_" and that for the first k from 2 that is free; a
    // file already there is never replaced. out is the new path, or source
    // when the move failed ("could not be moved to" printed).
    static bool moveFile(const char* source, const char* name, const char* targetDir,
                         i4_string& out);
    // Whether a plain file of the size stands in the directory under one of
    // the names moveFile gives for name.
    static bool movedHere(const char* name, const char* targetDir, int64_t size);

    // Restarts the numbering (tests).
    void reset();

private:
    i4_mutex lock;
    uint32_t counter;
};

extern TempFiles theTempFiles;
