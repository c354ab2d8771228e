#include "transfer/download/DLS_PausedHashing.h"

#include "transfer/download/DLS_Paused.h"
#include "transfer/download/Download.h"

DLS_PausedHashing::DLS_PausedHashing(Download* d) : DLS_Hashing(d) {}

bool DLS_PausedHashing::isPaused() {
    // A restart during the check must not forget the pause.
    return true;
}

void DLS_PausedHashing::hashDone() {
    download->setState(new DLS_Paused(download));
}
