// A self-test: see Test.
#pragma once

#include "app/selftest/Test.h"

// The record model's place in the run: the records are checked where they are
// built, so this one checks nothing and passes.
class TestMeta : public Test {
public:
    bool run() override;
};
