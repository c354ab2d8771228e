// Byte buffers compared so that a failure reads in one screen: the first offset where
// they differ, both lengths and a short hex window of each around it, never the
// buffers themselves (a file of a megabyte printed as escaped text is thousands of lines).
//
//   EXPECT_BYTES_EQ(expected, actual);  ASSERT_BYTES_EQ(expected, actual);
//
// Either side may be a std::string, a string literal, a std::string_view or a vector of
// bytes (uint8_t or char). Any thread may call them, as any gtest assertion.
#pragma once

#include <gtest/gtest.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <string_view>
#include <vector>

namespace bytecompare {

// A side of a comparison: its bytes, borrowed for the length of the assertion.
struct Bytes {
    Bytes(std::string_view s) : data((const uint8_t*)s.data()), size(s.size()) {}
    Bytes(const std::string& s) : data((const uint8_t*)s.data()), size(s.size()) {}
    Bytes(const char* s) : Bytes(std::string_view(s)) {}
    Bytes(const std::vector<uint8_t>& v) : data(v.data()), size(v.size()) {}
    Bytes(const std::vector<char>& v) : data((const uint8_t*)v.data()), size(v.size()) {}
    const uint8_t* data;
    size_t size;
};

// Bytes shown before and after the first difference.
const size_t WINDOW_BEFORE = 8, WINDOW_AFTER = 16;

// The offset of the first byte where a and b differ; the shorter length when one is
// the start of the other; npos when they are equal.
inline size_t firstDifference(Bytes a, Bytes b) {
    size_t common = a.size < b.size ? a.size : b.size;
    // Blocks by memcmp first: the test programs' own code is unoptimised, and buffers of
    // megabytes are common.
    const size_t BLOCK = 4096;
    size_t at = 0;
    while (at < common) {
        size_t n = common - at < BLOCK ? common - at : BLOCK;
        if (memcmp(a.data + at, b.data + at, n) != 0) break;
        at += n;
    }
    for (; at < common; at++)
        if (a.data[at] != b.data[at]) return at;
    return a.size == b.size ? std::string::npos : common;
}

// One line: "@<offset>: 4f 50 [51] 52 ...  |OP.QR|", the byte at `at` bracketed.
inline std::string hexWindow(Bytes b, size_t at) {
    size_t from = at > WINDOW_BEFORE ? at - WINDOW_BEFORE : 0;
    size_t to = at + WINDOW_AFTER < b.size ? at + WINDOW_AFTER : b.size;
    char cell[32];
    snprintf(cell, sizeof cell, "@%zu:", from);
    std::string hex = cell, text;
    for (size_t i = from; i < to; i++) {
        snprintf(cell, sizeof cell, i == at ? " [%02x]" : " %02x", b.data[i]);
        hex += cell;
        text += b.data[i] >= 0x20 && b.data[i] < 0x7f ? (char)b.data[i] : '.';
    }
    if (at >= b.size) hex += " [end]";
    if (to < b.size) hex += " ...";
    return hex + "  |" + text + "|";
}

// The predicate behind the macros (EXPECT_PRED_FORMAT2's form).
inline ::testing::AssertionResult bytesEqual(const char* expectedText, const char* actualText,
                                             Bytes expected, Bytes actual) {
    size_t at = firstDifference(expected, actual);
    if (at == std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << expectedText << " and " << actualText << " differ at offset " << at << "\n"
           << "  lengths: " << expected.size << " expected, " << actual.size << " actual\n"
           << "  expected " << hexWindow(expected, at) << "\n"
           << "  actual   " << hexWindow(actual, at);
}

}  // namespace bytecompare

#define EXPECT_BYTES_EQ(expected, actual) \
    EXPECT_PRED_FORMAT2(::bytecompare::bytesEqual, expected, actual)
#define ASSERT_BYTES_EQ(expected, actual) \
    ASSERT_PRED_FORMAT2(::bytecompare::bytesEqual, expected, actual)
