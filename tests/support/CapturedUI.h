// Test helpers: an output file that keeps what is written, and a console
// gateway printing into one as the active UI.
#pragma once

#include <mutex>
#include <string>

#include "core/PageViewer.h"
#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"

class CaptureFile : public i4_file {
public:
    int32_t read(void*, int32_t) override { return 0; }
    int32_t write(const void* buf, int32_t n) override {
        std::lock_guard<std::mutex> guard(lock);
        captured.append(static_cast<const char*>(buf), (size_t)n);
        return n;
    }
    int64_t seek(int64_t) override { return 0; }
    int64_t size() override { return 0; }
    int64_t tell() override { return 0; }

    std::string text() {
        std::lock_guard<std::mutex> guard(lock);
        return captured;
    }
    void clear() {
        std::lock_guard<std::mutex> guard(lock);
        captured.clear();
    }

private:
    std::mutex lock;
    std::string captured;
};

// Makes a gateway whose output is captured the active UI for one test, and
// the given pager (if any) the one that printLine gathers into.
struct CapturedUI {
    UIGateway gateway;
    CaptureFile out;
    UIGateway* saved;
    PageViewer* savedPager;
    explicit CapturedUI(PageViewer* pager = nullptr) : saved(theUI), savedPager(thePageViewer) {
        gateway.setOutput(&out);
        theUI = &gateway;
        thePageViewer = pager;
    }
    ~CapturedUI() {
        theUI = saved;
        thePageViewer = savedPager;
    }
    std::string text() { return out.text(); }
};
