#include "app/selftest/StristrTest.h"

#include "core/UIGateway.h"
#include "i4min/string/i4_string.h"

bool StristrTest::run() {
    theUI->printLine(" stristr test:");
    const char* text = "Hello OUT THere";
    const struct {
        const char* pattern;
        bool found;
    } cases[] = {{"Hello", true}, {"dog", false}, {"out", true}, {"thERe", true}};
    int number = 1;
    for (const auto& c : cases) {
        if ((stristr(text, c.pattern) != nullptr) != c.found) {
            theUI->printLine("Test %d failed", number);
            return false;
        }
        ++number;
    }
    return true;
}
