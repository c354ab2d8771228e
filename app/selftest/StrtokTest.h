// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// The bounded tokenizer: tokens, delimiters only, and words longer than the buffer.
class StrtokTest : public Test {
public:
    bool run() override;
};
