// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// The bits of a 16-byte identifier, most significant bit of byte 0 first.
class UniqueIDTest : public Test {
public:
    bool run() override;
};
