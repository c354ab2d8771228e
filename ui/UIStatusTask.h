// Core task thread only: run, and the setters before the task is on that thread.
#pragma once

#include "core/TimeSliceTask.h"

class GUIController;

// The timer of a controller's status reports: every interval milliseconds (strictly more
// than that since the last one) its controller sends a report. On the core task thread only
// while the controller has asked for a report.
class UIStatusTask : public TimeSliceTask {
public:
    UIStatusTask();

    // Always false: a report is not work that should hurry the next pass.
    bool run(int elapsedMs) override;
    // When the next report is due, so an idle loop does not sleep past it.
    int nextDueMs() override;

    void setInterval(int ms) { interval = ms; }
    void setController(GUIController* c) { controller = c; }
    int getInterval() const { return interval; }

private:
    int interval;
    GUIController* controller;
    int elapsed;
};
