// A self-test: see Test. Runs where commands run, the core task thread, which
// owns the download pool.
#pragma once

#include "app/selftest/Test.h"

// Checks the download side inside the running client. It leaves its made-up
// download "test.file" in the download list, as a user can see with "vd".
class TransferTest : public Test {
public:
    bool run() override;
    // Starts a download of a 100-byte file of random hash and checks that the
    // pool holds it, that its lock is taken by one holder at a time, and how its
    // sources fare: one of the client itself, and one on a closed loopback port.
    bool testFileSource();
};
