// The console application object: built at static initialisation, used like
// its Servant base (see there for the threads).
#pragma once

#include "meta/FileList.h"
#include "ui/Servant.h"

// Builds the console's command table and makes itself theServant.
class ConClientApp : public Servant {
public:
    ConClientApp();
    ~ConClientApp() override;

    // One row of the command table.
    struct Entry {
        const char* word;
        CommandFunction handler;
    };
    // Every console word in its fixed order; a row without a handler is a
    // command not built yet, which stays unregistered.
    static const Entry TABLE[];
    static const int TABLE_SIZE;

    // The results of the last search, filled by the console UI; touched only on
    // the core task thread.
    FileList theSearchResults;
};

extern ConClientApp theConClientApp;
