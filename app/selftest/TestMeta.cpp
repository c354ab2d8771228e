#include "app/selftest/TestMeta.h"

bool TestMeta::run() {
    return true;
}
