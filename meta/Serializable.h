// Base of everything with a byte form. No state and no lock of its own; the list
// writers lock an LLsafe list themselves (see saveList).
#pragma once

#include <stdint.h>

#include "i4min/string/i4_err.h"

class i4_file;
class LL;
class LLsafe;

class Serializable {
public:
    // Each returns true on success. The wire form goes into packets, the disk form
    // into files; many kinds write the same bytes for both.
    virtual bool toNetwork(i4_file& f) = 0;
    virtual bool fromNetwork(i4_file& f) = 0;
    virtual bool toBytes(i4_file& f) = 0;
    virtual bool fromDisk(i4_file& f) = 0;
    // Bytes of the wire form.
    virtual int size() = 0;

    // u32 item count, then each item. The locked forms take the list's lock, go on
    // past an item that fails and catch an i4_err (result false); the plain forms
    // stop at the first failing item and let an i4_err pass.
    static bool saveList(LLsafe* list, i4_file& f);
    static bool saveListNetwork(LLsafe* list, i4_file& f);
    static bool saveList(LL* list, i4_file& f);
    static bool saveListNetwork(LL* list, i4_file& f);
    // 4 + the sum of the items' sizes.
    static int listSize(LL* list);

    // Bytes between the read position and the end; 0 when the file cannot tell.
    // Every count and length read from a file is checked against it before use.
    static int64_t bytesLeft(i4_file& f);

    // The one way a serializer fails. The body reads its fields through i4_field_reader and
    // writes them through i4_field_writer, which throw i4_err on short input, a refused length
    // or a short write; that, like the body's own false, answers false:
    //     return checked([&] { i4_field_reader in(f); time = in.u32(); ...; return true; });
    template <class Body>
    static bool checked(Body&& body) {
        try {
            return body();
        } catch (const i4_err&) {
            return false;
        }
    }

protected:
    ~Serializable() {}
};
