#include "ui/UIStatusTask.h"

#include "ui/GUIController.h"

UIStatusTask::UIStatusTask() : interval(0), controller(nullptr), elapsed(0) {}

bool UIStatusTask::run(int elapsedMs) {
    if (!controller) return false;
    if (elapsedMs > 0) elapsed += elapsedMs;
    if (elapsed > interval) {
        // What is over the interval is dropped: reports never bunch up after a slow pass.
        elapsed = 0;
        controller->sendStatus();
    }
    return false;
}

int UIStatusTask::nextDueMs() {
    if (!controller) return -1;
    int left = interval - elapsed + 1;
    return left > 0 ? left : 0;
}
