// A built-in self-test: run by the "test" command on the thread that runs
// commands; a test keeps no state between runs.
#pragma once

class Test {
public:
    virtual ~Test() {}
    // Prints what it checks through the active UI; true when everything held.
    virtual bool run() = 0;
};
