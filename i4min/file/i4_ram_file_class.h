// Any thread; one thread at a time. The buffer belongs to the creator.
#pragma once

#include "i4min/file/i4_file.h"

// A file over a memory buffer. Its size starts at the capacity, so a file made
// over received bytes reads exactly those. With a grow step above 0 the buffer
// (which must then come from i4_malloc, or be null) grows by whole steps through
// i4_realloc; with 0 writes past the capacity are cut. The destructor never
// frees the buffer: take it from get_buffer() and i4_free it.
class i4_ram_file_class : public i4_file {
public:
    i4_ram_file_class(void* buf, int32_t capacity, int32_t grow);

    void reset(void* buf, int32_t capacity, int32_t grow);
    // Cuts the size to n bytes if it is larger, keeping the buffer; the
    // position stays within the size.
    void truncate(int32_t n);
    // n bytes at the position, counted as written and passed over, for a caller that fills
    // every one of them itself (a read straight into the buffer); null when they don't fit.
    void* reserve(int32_t n);
    void* get_buffer() const { return buf_; }
    i4_ram_file_class* clone() const;
    int32_t capacity() const { return cap_; }

    int32_t read(void* buf, int32_t n) override;
    int32_t write(const void* buf, int32_t n) override;
    int64_t seek(int64_t pos) override;
    int64_t size() override { return end_; }
    int64_t tell() override { return pos_; }
    void* memory_at(int64_t offset) override { return buf_ ? buf_ + offset : nullptr; }
    int is_memory() override { return 1; }

private:
    // Grows the capacity by whole steps to at least need; false without a step.
    bool grow_to(int64_t need);

    uint8_t* buf_;
    int32_t cap_;
    int32_t pos_;
    int32_t grow_;
    int32_t end_;
};
