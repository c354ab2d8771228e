#include "i4min/file/i4_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "i4min/net/i4_printable.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"

i4_file::~i4_file() = default;

void i4_file::flush() {}

void* i4_file::memory_at(int64_t) {
    return nullptr;
}

int i4_file::is_memory() {
    return 0;
}

int i4_file::write_fill(uint8_t byte, int64_t count) {
    uint8_t block[1024];
    memset(block, byte, sizeof block);
    while (count > 0) {
        int32_t n = count < (int64_t)sizeof block ? (int32_t)count : (int32_t)sizeof block;
        int32_t w = write(block, n);
        if (w <= 0) return 0;
        count -= w;
    }
    return 1;
}

int32_t i4_file::write_8(uint8_t v) {
    return write(&v, 1);
}

int32_t i4_file::write_16(uint16_t v) {
    uint8_t b[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
    return write(b, 2);
}

int32_t i4_file::write_32(uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; i++) b[i] = (uint8_t)(v >> (8 * i));
    return write(b, 4);
}

int32_t i4_file::write_64(uint64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; i++) b[i] = (uint8_t)(v >> (8 * i));
    return write(b, 8);
}

uint8_t i4_file::read_8() {
    uint8_t b;
    if (read(&b, 1) != 1) I4_ERROR("read_8 error");
    return b;
}

uint16_t i4_file::read_16() {
    uint8_t b[2];
    if (read(b, 2) != 2) I4_ERROR("read_16 error");
    return (uint16_t)(b[0] | (b[1] << 8));
}

uint32_t i4_file::read_32() {
    uint8_t b[4];
    if (read(b, 4) != 4) I4_ERROR("read_32 error");
    return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}

uint64_t i4_file::read_64() {
    uint8_t b[8];
    readAll(b, 8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = (v << 8) | b[i];
    return v;
}

float i4_file::read_float() {
    uint32_t bits = read_32();
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

void i4_file::readAll(void* buf, int32_t n) {
    uint8_t* p = (uint8_t*)buf;
    while (n > 0) {
        int32_t r = read(p, n);
        if (r <= 0) I4_ERROR("readAll error");
        p += r;
        n -= r;
    }
}

int32_t i4_file::printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int32_t n = vprintf(fmt, ap);
    va_end(ap);
    return n;
}

namespace {

// Collects a whole formatted text, so that it reaches the target in one write: one system call
// per printed line on the console and on sockets, and a line of one thread is never torn by
// another's. Objects printed with %I print onto it like onto any file.
class format_buffer : public i4_file {
public:
    format_buffer() { text.reserve(256); }
    const std::string& bytes() const { return text; }

    int32_t read(void*, int32_t) override { return 0; }
    int32_t write(const void* buf, int32_t n) override {
        if (n <= 0) return 0;
        text.append(static_cast<const char*>(buf), static_cast<size_t>(n));
        return n;
    }
    int64_t seek(int64_t) override { return tell(); }
    int64_t size() override { return tell(); }
    int64_t tell() override { return static_cast<int64_t>(text.size()); }

private:
    std::string text;
};

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void write_number(i4_file& f, uint64_t v, unsigned base) {
    static const char digits[] = "0123456789abcdef";
    char out[24];
    int n = 0;
    do {
        out[n++] = digits[v % base];
        v /= base;
    } while (v);
    char rev[24];
    for (int i = 0; i < n; i++) rev[i] = out[n - 1 - i];
    f.write(rev, n);
}

// Only flags, width and precision reach the platform's printf: anything else
// ('*' above all) would make it take arguments that were never passed.
void write_float(i4_file& f, const char* conv, int conv_len, double v) {
    char pattern[40];
    int n = 0;
    pattern[n++] = '%';
    int i = 1;
    while (i < conv_len && strchr("-+ #0", conv[i]) && n < 8) pattern[n++] = conv[i++];
    for (; i < conv_len - 1 && n < (int)sizeof pattern - 2; i++) {
        char c = conv[i];
        if ((c >= '0' && c <= '9') || c == '.') pattern[n++] = c;
    }
    pattern[n++] = 'f';
    pattern[n] = 0;
    char out[128];
    int len = snprintf(out, sizeof out, pattern, v);
    if (len < 0) return;
    if (len >= (int)sizeof out) len = sizeof out - 1;
    f.write(out, len);
}

}  // namespace

int32_t i4_file::vprintf(const char* fmt, va_list ap_in) {
    if (!fmt) return 0;
    format_buffer f;
    va_list ap;
    va_copy(ap, ap_in);
    const char* p = fmt;
    while (*p) {
        if (*p != '%') {
            const char* run = p;
            while (*p && *p != '%') p++;
            f.write(run, (int32_t)(p - run));
            continue;
        }
        const char* start = p++;
        while (*p && *p != '%' && !is_ascii_letter(*p)) p++;
        if (!*p) break;  // a conversion cut off by the end of the format prints nothing
        char kind = *p++;
        switch (kind) {
        case '%':
            f.write_8('%');
            break;
        case 'c':
            f.write_8((uint8_t)va_arg(ap, int));
            break;
        case 'd':
        case 'i': {
            int v = va_arg(ap, int);
            uint64_t mag = v < 0 ? (uint64_t)(-(int64_t)v) : (uint64_t)v;
            if (v < 0) f.write_8('-');
            write_number(f, mag, 10);
            break;
        }
        case 'u':
            write_number(f, va_arg(ap, unsigned int), 10);
            break;
        case 'x':
            write_number(f, va_arg(ap, unsigned int), 16);
            break;
        case 'o':
            write_number(f, va_arg(ap, unsigned int), 8);
            break;
        case 'p':
            write_number(f, (uintptr_t)va_arg(ap, void*), 16);
            break;
        case 's': {
            const char* s = va_arg(ap, const char*);
            if (s) f.write(s, i4_strlen(s));
            break;
        }
        case 'S': {
            const i4_string* s = va_arg(ap, const i4_string*);
            if (s && s->c_str()) f.write(s->c_str(), s->length());
            break;
        }
        case 'I': {
            const i4_printable* obj = va_arg(ap, const i4_printable*);
            if (obj)
                obj->print(f);
            else
                f.write("NULL", 4);
            break;
        }
        case 'f':
            write_float(f, start, (int)(p - start), va_arg(ap, double));
            break;
        default:
            break;  // any other letter, length letters included: nothing
        }
    }
    va_end(ap);
    const std::string& out = f.bytes();
    if (out.empty()) return 0;
    int32_t n = out.size() > 0x7fffffff ? 0x7fffffff : static_cast<int32_t>(out.size());
    int32_t w = write(out.data(), n);
    return w > 0 ? w : 0;
}
