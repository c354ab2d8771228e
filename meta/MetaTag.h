// One typed, named attribute of a record. No lock: a tag belongs to one record and
// is used by whoever may use that record.
//
// Byte form, the same in files and packets (integers little-endian):
//   offset  width  field
//   0       1      type code (1-8)
//   1       2      name length L
//   3       L      name bytes, no terminator; a tag without a name is written as "n"
//   3 + L   kind   value bytes (see each kind)
// A name of 0 or 1 bytes read back makes the tag special: its id is the name's
// first byte, read unsigned (0 for an empty name, which stays an ordinary tag).
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"
#include "meta/Serializable.h"

class MetaTag : public Serializable {
public:
    enum Type {
        HASH128 = 1,
        STRING = 2,
        INT = 3,
        FLOAT = 4,
        BOOL = 5,
        BOOLARRAY = 6,
        BLOB = 7,
        INT64 = 8,
    };
    enum {
        MAX_NAME = 100,    // longer names keep their first 100 bytes
        MAX_STRING = 128,  // longer string values keep their first 128 bytes
        // Texts read from the client's own files (settings that hold paths) are kept whole
        // up to this; the cut above applies to what arrives from the network.
        MAX_STORED_STRING = 4095,
    };

    MetaTag(uint32_t type, const char* name);
    virtual ~MetaTag();

    bool toNetwork(i4_file& f) override { return toBytes(f); }
    bool fromNetwork(i4_file& f) override { return fromDisk(f); }
    // The base writes the type byte and the name; each kind then writes its value.
    bool toBytes(i4_file& f) override;
    // The base reads the name (the type byte was read by readTag); each kind then
    // reads its value.
    bool fromDisk(i4_file& f) override;
    int size() override = 0;

    virtual MetaTag* clone() const = 0;
    // Pointer to the value held: the text (const char*, may be null) for a string,
    // int32_t, the 16 bytes, float, uint8_t, BoolArray, MetaBlob, int64_t.
    virtual void* getValue() = 0;
    // From a pointer to a value of the kind; null gives the empty value.
    virtual void setValue(const void* value) = 0;
    // The text form, cut to fit buf (at most n - 1 bytes and a terminator). Answers
    // buf, or null for a string tag holding no text.
    virtual const char* getValueText(char* buf, int n) = 0;

    // The factory: null for a type outside 1-8 (reported). The special id is 0,
    // whatever the name.
    static MetaTag* makeTag(uint32_t type, const char* name, const void* value);
    // A tag of the table's type and one-byte name for the id; null for an id the
    // table lacks.
    static MetaTag* makeSpecialTag(int id, const void* value);
    // Reads one tag; null when the type is unknown or any byte of it is missing.
    // The caller owns the tag. Texts from the wire are cut to MAX_STRING, those of the
    // client's own files to MAX_STORED_STRING.
    static MetaTag* readTag(i4_file& f, bool fromWire = false);

    // The table's display name for a special tag (null when the table lacks the id),
    // else the stored name (null for a tag without one).
    const char* getName() const;
    // The name under which the tag is stored and looked up.
    const char* getStoredName() const { return name.c_str(); }
    int getSpecialId() const { return specialId; }
    uint32_t getType() const { return type; }
    int isFlagged() const;
    int isFlagged2() const;

protected:
    // Byte count of type and name: 3 + L, L = 1 for a tag without a name.
    int headerSize() const;
    void copyHeaderFrom(const MetaTag& other);
    // Copies text into buf, cut to n - 1 bytes; buf as it is when n is below 1.
    static char* putText(char* buf, int n, const char* text);
    // Reads a stored text keeping at most max (<= MAX_STORED_STRING) bytes; false when
    // its length is 0xFFFF or passes the end of the input.
    static bool readText(i4_file& f, int max, i4_string& out);

private:
    int32_t specialId;
    i4_string name;
    uint32_t type;
};
