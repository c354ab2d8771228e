#include "app/selftest/TestMaster.h"

#include "app/selftest/Hash32Test.h"
#include "app/selftest/IterTest.h"
#include "app/selftest/LLTest.h"
#include "app/selftest/StristrTest.h"
#include "app/selftest/StrtokTest.h"
#include "app/selftest/Test.h"
#include "app/selftest/TestBoolArray.h"
#include "app/selftest/TestMeta.h"
#include "app/selftest/UniqueIDTest.h"
#include "core/UIGateway.h"
#include "util/LLView.h"

TestMaster::~TestMaster() {
    while (Test* test = static_cast<Test*>(tests.removeAt(0))) delete test;
}

void TestMaster::addTest(Test* test) {
    tests.append(test);
}

void TestMaster::addAll() {
    addTest(new Hash32Test);
    addTest(new StrtokTest);
    addTest(new StristrTest);
    addTest(new TestMeta);
    addTest(new TestBoolArray);
    addTest(new LLTest);
    addTest(new IterTest);
    addTest(new UniqueIDTest);
}

bool TestMaster::runAll() {
    for (Test* test : LLView<Test>(tests)) {
        if (!test->run()) {
            theUI->printLine("ERRORS ::::--- FIX NOW");
            return false;
        }
    }
    theUI->printLine("go.");
    return true;
}
