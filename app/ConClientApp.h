// The console application object: built at static initialisation, used like
// its Servant base (see there for the threads).
#pragma once

#include "ui/Servant.h"

// Builds the console's command table and makes itself theServant.
class ConClientApp : public Servant {
public:
  ConClientApp();
  ~ConClientApp() override;
};

extern ConClientApp theConClientApp;
