#include "i4min/file/i4_buffered_file_class.h"

#include <cstring>

#include "i4min/memory/i4_memory.h"

i4_buffered_file_class::i4_buffered_file_class(i4_file* base, int32_t window_size)
    : base_(base),
      window_size_(window_size > 0 ? window_size : 4096),
      start_(0),
      end_(0),
      pos_(base->tell()),
      dirty_(false) {
    window_ = (uint8_t*)i4_malloc((size_t)window_size_);
    if (pos_ < 0) pos_ = 0;
}

i4_buffered_file_class::~i4_buffered_file_class() {
    write_back();
    i4_free(window_);
    delete base_;
}

bool i4_buffered_file_class::write_back() {
    if (!dirty_) return true;
    int32_t n = (int32_t)(end_ - start_);
    if (base_->seek(start_) != start_ || base_->write(window_, n) != n) return false;
    dirty_ = false;
    return true;
}

bool i4_buffered_file_class::load() {
    if (!write_back()) return false;
    start_ = end_ = pos_;
    if (base_->seek(pos_) != pos_) return true;  // past the base file's end: an empty window
    while (end_ - start_ < window_size_) {
        int32_t r =
            base_->read(window_ + (end_ - start_), (int32_t)(window_size_ - (end_ - start_)));
        if (r <= 0) break;
        end_ += r;
    }
    return true;
}

void i4_buffered_file_class::flush() {
    write_back();
    base_->flush();
}

int32_t i4_buffered_file_class::read(void* buf, int32_t n) {
    int32_t done = 0;
    while (done < n) {
        if (pos_ < start_ || pos_ >= end_) {
            if (!load()) return done ? done : -1;
            if (pos_ >= end_) break;  // the end of the file
        }
        int64_t take = end_ - pos_;
        if (take > n - done) take = n - done;
        memcpy((uint8_t*)buf + done, window_ + (pos_ - start_), (size_t)take);
        pos_ += take;
        done += (int32_t)take;
    }
    return done;
}

int32_t i4_buffered_file_class::write(const void* buf, int32_t n) {
    if (n < 0) return -1;
    int32_t done = 0;
    while (done < n) {
        // Inside the valid bytes or right after them, with room left in the window.
        if (pos_ < start_ || pos_ > end_ || pos_ >= start_ + window_size_) {
            if (!load()) return -1;
        }
        int64_t room = start_ + window_size_ - pos_;
        if (room > n - done) room = n - done;
        memcpy(window_ + (pos_ - start_), (const uint8_t*)buf + done, (size_t)room);
        pos_ += room;
        done += (int32_t)room;
        if (pos_ > end_) end_ = pos_;
        dirty_ = true;
    }
    return done;
}

int64_t i4_buffered_file_class::seek(int64_t pos) {
    pos_ = pos < 0 ? 0 : pos;
    return pos_;
}

int64_t i4_buffered_file_class::size() {
    int64_t s = base_->size();
    return dirty_ && end_ > s ? end_ : s;
}
