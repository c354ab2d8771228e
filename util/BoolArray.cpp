#include "util/BoolArray.h"

#include <cstdlib>
#include <cstring>

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_random.h"

namespace {

uint8_t* zeroedBytes(uint32_t n) {
    if (n == 0) return nullptr;
    uint8_t* p = static_cast<uint8_t*>(calloc(n, 1));
    if (!p) I4_ERROR("out of memory");
    return p;
}

}  // namespace

BoolArray::BoolArray() : count(0), data(nullptr) {}

BoolArray::BoolArray(uint32_t n) : count(n), data(zeroedBytes(dataBytes())) {}

BoolArray::BoolArray(const uint8_t* flags, uint32_t n) : BoolArray(n) {
    for (uint32_t i = 0; i < n; i++)
        if (flags[i]) data[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
}

BoolArray::BoolArray(const BoolArray& other) : count(0), data(nullptr) {
    assign(&other);
}

BoolArray& BoolArray::operator=(const BoolArray& other) {
    if (this != &other) assign(&other);
    return *this;
}

BoolArray::~BoolArray() {
    free(data);
}

int BoolArray::get(uint32_t i) const {
    if (i >= count) I4_ERROR("boolarray out of bounds");
    return (data[i / 8] >> (i % 8)) & 1;
}

void BoolArray::set(uint32_t i, int value) {
    if (i >= count) I4_ERROR("boolarray out of bounds");
    uint8_t mask = static_cast<uint8_t>(1u << (i % 8));
    if (value)
        data[i / 8] |= mask;
    else
        data[i / 8] &= static_cast<uint8_t>(~mask);
}

void BoolArray::fill(int value) {
    if (count) memset(data, value ? 0xFF : 0, dataBytes());
}

bool BoolArray::all(int value) const {
    for (uint32_t i = 0; i < count; i++)
        if (get(i) != (value ? 1 : 0)) return false;
    return true;
}

void BoolArray::resize(uint32_t n) {
    uint8_t* fresh = zeroedBytes(n ? n / 8 + 1 : 0);
    free(data);
    data = fresh;
    count = n;
}

void BoolArray::assign(const BoolArray* other) {
    if (!other) {
        if (count) memset(data, 0, dataBytes());
        return;
    }
    if (other == this) return;
    resize(other->count);
    if (count) memcpy(data, other->data, dataBytes());
}

void BoolArray::toString(char* buffer, uint32_t len) const {
    uint32_t n = count < len ? count : len;
    for (uint32_t i = 0; i < n; i++) buffer[i] = get(i) ? '1' : '0';
    buffer[n] = 0;
}

void BoolArray::randomize() {
    for (uint32_t i = 0; i < count; i++) set(i, i4_random(2));
}

uint32_t BoolArray::diskSize() const {
    return count / 8 + 3;
}

int32_t BoolArray::write(i4_file& f) const {
    // The count field is 16 bits: a longer array would be stored with a
    // count that disagrees with its bytes.
    if (count > MAX_STORED_BITS) return -1;
    if (f.write_16(static_cast<uint16_t>(count)) != 2) return -1;
    if (count == 0) return 2;
    int32_t n = static_cast<int32_t>(dataBytes());
    if (f.write(data, n) != n) return -1;
    return n + 2;
}

int32_t BoolArray::read(i4_file& f) {
    uint16_t n = f.read_16();
    // At most 65,535 bits, so at most 8 KiB is allocated whatever the input.
    resize(n);
    if (n == 0) return 0;
    return f.read(data, static_cast<int32_t>(dataBytes()));
}
