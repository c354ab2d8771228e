// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// The list iterator: removal of the current item and insertion around it.
class IterTest : public Test {
public:
    bool run() override;
};
