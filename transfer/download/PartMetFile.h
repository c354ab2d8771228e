// Any thread; keeps no state.
//
// Reads a download's ".part.met" record (the layout is documented in
// PartialFile.h): the version byte, then the file record.
#pragma once

class FileMeta;
class i4_file;

class PartMetFile {
public:
    // The version byte (PartialFile::VERSION_SINGLE or VERSION_PARTS) with
    // the record read whole, or 0 for another byte or a damaged record.
    static int read(i4_file& f, FileMeta& record);
    // The record at path, or at path + ".bak" when that at path is missing or
    // damaged; the record's path is set to the path given.
    static int read(const char* path, FileMeta& record);
};
