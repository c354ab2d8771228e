// Any thread; a file is used by one thread at a time or under its owner's lock.
#pragma once

#include <cstdarg>
#include <cstdint>

// The one stream abstraction: disk files, memory buffers, sockets and the
// console. Positions and sizes are 64-bit; a single read or write moves at most
// 2^31-1 bytes. Every integer reader and writer is little-endian.
class i4_file {
public:
    virtual ~i4_file();
    virtual void flush();
    // Bytes read; 0 at the end, negative on failure.
    virtual int32_t read(void* buf, int32_t n) = 0;
    // Bytes written; -1 on failure.
    virtual int32_t write(const void* buf, int32_t n) = 0;
    virtual int64_t seek(int64_t pos) = 0;
    virtual int64_t size() = 0;
    virtual int64_t tell() = 0;
    // 1 when count copies of byte were written, 0 when a write failed.
    virtual int write_fill(uint8_t byte, int64_t count);
    virtual void* memory_at(int64_t offset);
    virtual int is_memory();

    // Writers answer what write answered.
    int32_t write_8(uint8_t v);
    int32_t write_16(uint16_t v);
    int32_t write_32(uint32_t v);
    int32_t write_64(uint64_t v);

    // Short reads report "read_8 error", "read_16 error", "read_32 error",
    // "readAll error".
    uint8_t read_8();
    uint16_t read_16();
    uint32_t read_32();
    uint64_t read_64();
    float read_float();
    void readAll(void* buf, int32_t n);

    // The printf engine. Conversions end at the first ASCII letter or '%':
    // %% %c %d %i %u %x %p %o %s, %S (i4_string*), %I (i4_printable*), %f
    // (flags, width and precision honoured only here). Any other letter,
    // length letters included, prints nothing and takes no argument, so "%ld"
    // prints "d". The whole text is formatted first and reaches the file in one write, so a
    // line is one system call and never torn by another thread's. Answers the bytes written.
    int32_t printf(const char* fmt, ...);
    int32_t vprintf(const char* fmt, va_list ap);
};
