// The output pager. Any thread may add (under the lock) while it is active; the
// console loop on the main thread shows it once the command has run. The active
// flag is read without the lock by UIGateway::printLine.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class PageViewer {
public:
    // Answers the next key, or a negative value at end of input.
    typedef std::function<int()> KeyReader;

    enum { MAX_LINES = 1000, DEFAULT_LINES = 24 };

    PageViewer();
    virtual ~PageViewer();

    // Gathering on; lines of an earlier gathering are dropped. Nothing while the calling
    // thread holds a HeldOff.
    void begin();
    // Gathers one line; beyond MAX_LINES the line is dropped and the loss noted.
    // False when gathering is off (the caller prints the line itself).
    bool add(const char* text);
    // Prints the gathered lines page by page through theUI and frees them.
    void show();

    // Lines per page; anything below 1 counts as DEFAULT_LINES.
    void setLines(int n);
    int getLines() const { return pageLines.load(); }
    bool isActive() const { return active.load(); }

    // Where keys come from between pages. Unset: the terminal when standard
    // input is one; without a terminal every line is printed without pausing.
    void setKeyReader(KeyReader reader) { keys = reader; }

    // While one lives, begin does nothing on the thread that made it: a command run for
    // someone other than the console loop (a remote controller) must not switch gathering
    // on, or the console's output would wait for the next command typed at the terminal.
    class HeldOff {
    public:
        explicit HeldOff(bool on = true);
        ~HeldOff();
        HeldOff(const HeldOff&) = delete;
        HeldOff& operator=(const HeldOff&) = delete;

    private:
        bool on;
    };

private:
    bool waitForNextPage();

    std::mutex lock;  // guards lines and overflowed
    std::vector<std::string> lines;
    bool overflowed;
    std::atomic<int> pageLines;
    std::atomic<bool> active;
    KeyReader keys;
};

// The pager that printLine gathers into: the console command runner's own.
// Null means nothing is gathered.
extern PageViewer* thePageViewer;
