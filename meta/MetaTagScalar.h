// Types 3 (32-bit int), 4 (float), 5 (bool) and 8 (64-bit int): one fixed-width value. No lock:
// used like the record that holds it.
#pragma once

#include <cinttypes>
#include <cstdio>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "meta/MetaTag.h"

// What a scalar kind stores and how: its C type, its bytes and its text.
template <uint32_t Code>
struct ScalarKind;

template <>
struct ScalarKind<MetaTag::INT> {
    typedef int32_t Value;
    enum { WIDTH = 4 };
    static Value read(i4_field_reader& in) { return (int32_t)in.u32(); }
    static void write(i4_field_writer& out, Value v) { out.u32((uint32_t)v); }
    static void text(Value v, char* buf, int n) { snprintf(buf, n, "%d", (int)v); }
};

template <>
struct ScalarKind<MetaTag::FLOAT> {
    typedef float Value;
    enum { WIDTH = 4 };
    static Value read(i4_field_reader& in) { return in.f32(); }
    static void write(i4_field_writer& out, Value v) { out.f32(v); }
    static void text(Value v, char* buf, int n) { snprintf(buf, n, "%f", (double)v); }
};

template <>
struct ScalarKind<MetaTag::BOOL> {
    typedef uint8_t Value;
    enum { WIDTH = 1 };
    // Any non-zero byte reads as 1.
    static Value read(i4_field_reader& in) { return in.u8() ? 1 : 0; }
    static void write(i4_field_writer& out, Value v) { out.u8(v); }
    static void text(Value v, char* buf, int n) { snprintf(buf, n, "%s", v ? "true" : "false"); }
};

template <>
struct ScalarKind<MetaTag::INT64> {
    typedef int64_t Value;
    enum { WIDTH = 8 };
    static Value read(i4_field_reader& in) { return (int64_t)in.u64(); }
    static void write(i4_field_writer& out, Value v) { out.u64((uint64_t)v); }
    static void text(Value v, char* buf, int n) { snprintf(buf, n, "%" PRId64, v); }
};

template <uint32_t Code>
class MetaTagScalar : public MetaTag {
public:
    typedef ScalarKind<Code> Kind;
    typedef typename Kind::Value Value;

    explicit MetaTagScalar(const char* name) : MetaTag(Code, name), value() {}

    bool toBytes(i4_file& f) override {
        return MetaTag::toBytes(f) && checked([&] {
                   i4_field_writer out(f);
                   Kind::write(out, value);
                   return true;
               });
    }
    bool fromDisk(i4_file& f) override {
        if (!MetaTag::fromDisk(f)) return false;
        i4_field_reader in(f);
        value = Kind::read(in);
        return true;
    }
    int size() override { return headerSize() + (int)Kind::WIDTH; }
    MetaTag* clone() const override {
        MetaTagScalar* t = new MetaTagScalar(nullptr);
        t->copyHeaderFrom(*this);
        t->value = value;
        return t;
    }
    void* getValue() override { return &value; }
    void setValue(const void* v) override { value = v ? *static_cast<const Value*>(v) : Value(); }
    const char* getValueText(char* buf, int n) override {
        // "%f" of the largest float needs 46 bytes.
        char text[64];
        Kind::text(value, text, sizeof text);
        return putText(buf, n, text);
    }

private:
    Value value;
};

typedef MetaTagScalar<MetaTag::INT> MetaTagInt;
typedef MetaTagScalar<MetaTag::FLOAT> MetaTagFloat;
typedef MetaTagScalar<MetaTag::BOOL> MetaTagBool;
typedef MetaTagScalar<MetaTag::INT64> MetaTag64;
