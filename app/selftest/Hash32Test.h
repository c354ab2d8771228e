// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// A 32-bit-key multimap: values come back per key in the order they came, and keys next to each
// other stay apart.
class Hash32Test : public Test {
public:
    bool run() override;
};
