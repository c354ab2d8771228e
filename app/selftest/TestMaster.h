// Used by the command that made it, on that command's thread.
#pragma once

#include "util/LL.h"

class Test;

// Runs built-in self-tests in order and prints the verdict.
class TestMaster {
public:
    TestMaster() {}
    ~TestMaster();

    // The master owns the test from now on.
    void addTest(Test* test);
    // One of each base-layer test.
    void addAll();
    // Runs the tests in order until one fails ("ERRORS ::::--- FIX NOW") or all
    // have passed ("go."); true when all passed.
    bool runAll();

private:
    TestMaster(const TestMaster&) = delete;
    TestMaster& operator=(const TestMaster&) = delete;

    LL tests;
};
