// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// The case-insensitive substring search.
class StristrTest : public Test {
public:
    bool run() override;
};
