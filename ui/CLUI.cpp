#include "ui/CLUI.h"

CLUI::CLUI() {}

CLUI::~CLUI() {}

// The console shows downloads only when asked to list them.
void CLUI::downloadChanged(Download*) {}

void CLUI::downloadRemoved(Download*) {}
