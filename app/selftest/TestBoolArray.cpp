#include "app/selftest/TestBoolArray.h"

#include <cstdint>

#include "core/UIGateway.h"
#include "i4min/file/i4_ram_file_class.h"
#include "util/BoolArray.h"

bool TestBoolArray::run() {
    theUI->printLine(" BoolArray test:");
    BoolArray bits(10);
    bits.set(0, 1);
    bits.set(5, 1);
    if (!bits.get(0)) {
        theUI->printLine("Test 1 failed");
        return false;
    }
    if (!bits.get(5) || bits.get(2) || bits.get(9)) return false;
    bits.set(5, 0);
    if (bits.get(5)) return false;

    // Room for the count and two data bytes; the file does not free what it holds.
    uint8_t stored[16];
    i4_ram_file_class file(stored, sizeof stored, 0);
    if (bits.write(file) < 0) return false;
    file.seek(0);
    BoolArray copy;
    copy.read(file);
    if (copy.size() != 10) return false;
    copy.set(9, 1);
    if (!copy.get(0)) {
        theUI->printLine("Test 2 failed");
        return false;
    }
    return copy.get(9) && !copy.get(1) && !copy.get(2) && !copy.get(5);
}
