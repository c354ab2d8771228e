// The console face of the UI interfaces. Any thread may print through it; the
// transfer events arrive on the core task thread.
#pragma once

#include "core/CoreUI.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"

// Prints on standard output; the printing bodies are UIGateway's own.
class CLUI : public UIGateway, public CoreUI, public TransferUI {
public:
  CLUI();
  ~CLUI() override;

  void downloadChanged(Download* download) override;
  void downloadRemoved(Download* download) override;
};
