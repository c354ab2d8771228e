// The ordered list of importers that describe a newly hashed file with tags. The list
// is filled once before the hashing thread starts and not changed while it runs; the
// importers keep no state between files, so import may be called from any thread
// (the hashing thread is the one that does), one file per call.
#pragma once

#include "util/LL.h"

class FileMeta;
class Importer;

class ImportMaster {
public:
    ImportMaster();
    // Deletes every importer.
    ~ImportMaster();
    ImportMaster(const ImportMaster&) = delete;
    ImportMaster& operator=(const ImportMaster&) = delete;

    // Empties the list and fills it in order: MP3, AVI, Picture, RM, App, Doc, Flac,
    // Default.
    void registerImporters();
    // Appends an importer, which the list then owns.
    void add(Importer* importer);
    int count() const { return importers.count(); }

    // Opens the record's local path and tries the importers in order on the
    // lower-cased extension of the record's name; the first that takes the file
    // ends the search. False only when the file cannot be opened (the caller
    // reports it); an i4_err from an importer ends the search with the tags added so
    // far and the debug line "Exception in import".
    bool import(FileMeta& record) const;

private:
    void clear();

    LL importers;
};

extern ImportMaster theImportMaster;
