// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// Lists: removal while walking, shuffling and sorting.
class LLTest : public Test {
public:
    bool run() override;
};
