// Test helper: a gateway whose console text lands in a string.
#pragma once

#include <mutex>
#include <string>

#include "core/PageViewer.h"
#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"

class StringFile : public i4_file {
public:
  int32_t read(void*, int32_t) override { return 0; }
  int32_t write(const void* buf, int32_t n) override {
    std::lock_guard<std::mutex> hold(lock);
    text.append(static_cast<const char*>(buf), (size_t)n);
    return n;
  }
  int64_t seek(int64_t) override { return 0; }
  int64_t size() override { return (int64_t)contents().size(); }
  int64_t tell() override { return size(); }
  std::string contents() {
    std::lock_guard<std::mutex> hold(lock);
    return text;
  }

private:
  std::mutex lock;
  std::string text;
};

// Installs its own gateway (and optionally a pager) for the scope of a test.
struct ConsoleCapture {
  explicit ConsoleCapture(PageViewer* pager = nullptr)
      : savedUI(theUI), savedPager(thePageViewer) {
    ui.setOutput(&out);
    theUI = &ui;
    thePageViewer = pager;
  }
  ~ConsoleCapture() {
    theUI = savedUI;
    thePageViewer = savedPager;
  }
  std::string text() { return out.contents(); }

  StringFile out;
  UIGateway ui;
  UIGateway* savedUI;
  PageViewer* savedPager;
};
