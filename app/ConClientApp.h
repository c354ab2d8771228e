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

    // The results of the last search, filled by the console UI; touched only on
    // the core task thread.
    FileList theSearchResults;
};

extern ConClientApp theConClientApp;
