#include "i4min/file/i4_ram_file_class.h"

#include <cstring>

#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"

i4_ram_file_class::i4_ram_file_class(void* buf, int32_t capacity, int32_t grow) {
    reset(buf, capacity, grow);
}

void i4_ram_file_class::reset(void* buf, int32_t capacity, int32_t grow) {
    buf_ = (uint8_t*)buf;
    cap_ = capacity > 0 ? capacity : 0;
    grow_ = grow > 0 ? grow : 0;
    pos_ = 0;
    end_ = cap_;
}

void i4_ram_file_class::truncate(int32_t n) {
    if (n < 0) n = 0;
    if (n < end_) end_ = n;
    if (pos_ > end_) pos_ = end_;
}

void* i4_ram_file_class::reserve(int32_t n) {
    if (n < 0 || !buf_ || n > cap_ - pos_) return nullptr;
    uint8_t* at = buf_ + pos_;
    pos_ += n;
    if (pos_ > end_) end_ = pos_;
    return at;
}

i4_ram_file_class* i4_ram_file_class::clone() const {
    i4_ram_file_class* c = new i4_ram_file_class(buf_, cap_, grow_);
    c->seek(pos_);
    return c;
}

bool i4_ram_file_class::grow_to(int64_t need) {
    if (grow_ <= 0) return false;
    int64_t steps = (need - cap_ + grow_ - 1) / grow_;
    int64_t cap = cap_ + steps * grow_;
    if (cap > INT32_MAX) I4_ERROR("out of memory");
    buf_ = (uint8_t*)i4_realloc(buf_, (size_t)cap);
    cap_ = (int32_t)cap;
    return true;
}

int32_t i4_ram_file_class::read(void* buf, int32_t n) {
    if (n <= 0) return 0;
    int32_t avail = end_ - pos_;
    if (n > avail) n = avail;
    if (n > 0) {
        memcpy(buf, buf_ + pos_, n);
        pos_ += n;
    }
    return n;
}

int32_t i4_ram_file_class::write(const void* data, int32_t n) {
    if (n <= 0) return 0;
    if (n > cap_ - pos_ && !grow_to((int64_t)pos_ + n)) n = cap_ - pos_;
    if (n <= 0) return 0;
    memcpy(buf_ + pos_, data, n);
    pos_ += n;
    if (pos_ > end_) end_ = pos_;
    return n;
}

int64_t i4_ram_file_class::seek(int64_t p) {
    if (p < 0) p = 0;
    if (p > cap_ && !grow_to(p)) p = cap_;
    pos_ = (int32_t)p;
    if (pos_ > end_) {
        // Bytes skipped over by a seek would otherwise carry stale heap data
        // into whatever is built here.
        memset(buf_ + end_, 0, pos_ - end_);
        end_ = pos_;
    }
    return pos_;
}
