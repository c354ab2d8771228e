#include "core/PageViewer.h"

#include <unistd.h>

#include "core/UIGateway.h"
#include "i4min/main/i4_console_input.h"
#include "i4min/threads/linux/i4_lock.h"

namespace {
const char kNextPagePrompt[] = "press space bar for next page, 'q' to quit";
const char kFullNotice[] = "PageViewer is full...";
}  // namespace

PageViewer* thePageViewer = nullptr;

namespace {
thread_local int heldOff = 0;
}

PageViewer::HeldOff::HeldOff(bool on_) : on(on_) {
    if (on) heldOff++;
}

PageViewer::HeldOff::~HeldOff() {
    if (on) heldOff--;
}

PageViewer::PageViewer() : overflowed(false), pageLines(DEFAULT_LINES), active(false) {}

PageViewer::~PageViewer() {
    if (thePageViewer == this) thePageViewer = nullptr;
}

void PageViewer::setLines(int n) {
    pageLines = n < 1 ? (int)DEFAULT_LINES : n;
}

void PageViewer::begin() {
    if (heldOff > 0) return;
    i4_lock hold(&lock);
    lines.clear();
    overflowed = false;
    active = true;
}

bool PageViewer::add(const char* text) {
    i4_lock hold(&lock);
    if (!active) return false;
    if (!text) return true;
    if (lines.size() < MAX_LINES)
        lines.emplace_back(text);
    else
        overflowed = true;
    return true;
}

// True for the next page, false when the reader wants no more.
bool PageViewer::waitForNextPage() {
    theUI->printFlush("%s", kNextPagePrompt);
    if (!keys) clearInput();
    for (;;) {
        int key = keys ? keys() : waitKey();
        if (key == ' ') {
            theUI->printFlush("\n");
            return true;
        }
        // End of input reads as 'q': nobody is left to press a key.
        if (key == 'q' || key == 'Q' || key < 0) {
            theUI->printFlush("\n");
            return false;
        }
    }
}

void PageViewer::show() {
    std::vector<std::string> taken;
    bool lost;
    {
        i4_lock hold(&lock);
        if (!active) return;
        // Off first, so that what follows reaches the terminal.
        active = false;
        taken.swap(lines);
        lost = overflowed;
        overflowed = false;
    }

    // Without a terminal nobody can press a key: print everything.
    const bool pausing = keys || isatty(0);
    const size_t page = (size_t)getLines();
    size_t i = 0;
    for (;;) {
        size_t left = taken.size() - i;
        if (!pausing || left <= page) {
            for (; i < taken.size(); i++) theUI->printLine("%s", taken[i].c_str());
            break;
        }
        for (size_t end = i + page; i < end; i++) theUI->printLine("%s", taken[i].c_str());
        if (!waitForNextPage()) return;
    }
    if (lost) theUI->printLine("%s", kFullNotice);
}
