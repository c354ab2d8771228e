// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// Bit arrays: setting and clearing bits, and their stored form.
class TestBoolArray : public Test {
public:
    bool run() override;
};
