#include "app/selftest/StrtokTest.h"

#include <string>
#include <vector>

#include "core/UIGateway.h"
#include "i4min/string/i4_string.h"

namespace {

const char kDelimiters[] = " ,_-.(){}[]!?<>\t\n";

// Every token of the text: the first read into a buffer of firstSize bytes,
// the rest into 256 bytes.
std::vector<std::string> tokens(const char* text, int firstSize) {
    std::vector<std::string> found;
    char buffer[256];
    int pos = 0;
    // More calls than the text has characters would mean the walk is stuck.
    for (int size = firstSize, calls = 0; calls <= 64; size = sizeof buffer, ++calls) {
        pos = i4_strtok(text, kDelimiters, pos, buffer, size);
        if (pos == 0) break;
        found.push_back(buffer);
        if (pos < 0) break;
    }
    return found;
}

}  // namespace

bool StrtokTest::run() {
    theUI->printLine(" i4_strtok test:");
    const char* word = "longstringofrandomwordsoverflowthebuffer";
    const struct {
        const char* text;
        int firstSize;
        std::vector<std::string> expected;
    } cases[] = {
        {"Hello OUT THere", 256, {"Hello", "OUT", "THere"}},
        {".)Hello(test]]]]", 256, {"Hello", "test"}},
        {word, 256, {word}},
        {word, 5, {"long", "stringofrandomwordsoverflowthebuffer"}},
        {".!!{} ____", 256, {}},
    };
    for (const auto& c : cases)
        if (tokens(c.text, c.firstSize) != c.expected) return false;
    return true;
}
