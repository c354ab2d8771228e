// Threads and locks as PartialFile; assembly and the splitting back of parts
// run on the completing worker, taking the lock only to close part files.
//
// A download kept as one file per part in a directory of its own under the
// temporary directory, with its record: dir/1.part.met, dir/1.1.part,
// dir/1.2.part, ... (file i holds bytes from (i - 1) x 9,728,000 on). The
// record is PartialFile's with version 0xE1, an empty "tempFileName" and a
// "%dmod" tag per part file that a restart may trust. At completion the parts
// are joined into the first one, which is checked and moved.
#pragma once

#include "transfer/download/PartialFile.h"

class CompPartialFile : public PartialFile {
public:
    CompPartialFile();

    void createParts() override;
    i4_string metPath() override;
    // record's path is that of the ".part.met" in the download's directory.
    // A download whose finished file had moved already loads COMPLETE, its
    // record and directory gone.
    bool load(FileMeta* record, int number) override;
    bool create(FileMeta* record) override;
    void deleteFiles() override;
    bool complete() override;
    i4_string tempDir() override;

    // A new directory for the record's file under the temporary directory:
    // its name made safe, then with ".1", ".2", ... while that is taken.
    // Empty when none can be made.
    static i4_string makeTempDir(FileMeta* record);

protected:
    i4_string recordTimePath() override;

private:
    // Joins every part onto the first; false, with each part back in its own
    // file, when a join fails.
    bool assemble();
    // Part i's own file (from 0).
    i4_string partPath(int i) const;
    // A join that a crash cut short left the first part's file longer than
    // the part: every part it holds goes back into its own file, the last
    // first, each copied out before it is cut off, so that this too can be cut
    // short and taken up again. False when a part could not be put back.
    bool unjoin(uint32_t fileSize);
    // Bytes past the end of a part's file are missing, whatever the record
    // says: nothing else would ever fetch them again.
    void missingPastFileEnds();
    // A client killed after the finished file went into the incoming
    // directory and before its record went: the record lists no gap, no part
    // file is left, and incoming holds a file of the size under the name.
    bool movedBeforeTheCrash(FileMeta* record);
    // Moves parts from, from + 1, ... back out of the first part's file, the
    // last first; answers the lowest part moved back (from when all were).
    int splitBack(int from, int to);
    // After a failed whole-file check: every part back in its own file, and
    // each part whose piece does not match (or cannot be told) missing again;
    // while no part hash is known the parts stay as they are, unchecked.
    void reopenBadParts(LL& digests);

    i4_string dir;
};
