// Any thread; one thread at a time, like the file it wraps.
#pragma once

#include "i4min/file/i4_file.h"

// A write-back cache of one window over another file, which it owns. Reads and
// writes inside the window touch only memory; the window is written back when
// it moves, on flush and on destruction.
class i4_buffered_file_class : public i4_file {
public:
    i4_buffered_file_class(i4_file* base, int32_t window_size);
    ~i4_buffered_file_class() override;
    i4_buffered_file_class(const i4_buffered_file_class&) = delete;
    i4_buffered_file_class& operator=(const i4_buffered_file_class&) = delete;

    void flush() override;
    int32_t read(void* buf, int32_t n) override;
    // -1 when a window could not be written back.
    int32_t write(const void* buf, int32_t n) override;
    int64_t seek(int64_t pos) override;
    int64_t size() override;
    int64_t tell() override { return pos_; }

private:
    bool write_back();
    // Moves the window to start at pos_, loading what the base file holds there.
    bool load();

    i4_file* base_;
    uint8_t* window_;
    int32_t window_size_;
    int64_t start_;  // file offset of window_[0]
    int64_t end_;    // end of the valid bytes in the window
    int64_t pos_;
    bool dirty_;
};
