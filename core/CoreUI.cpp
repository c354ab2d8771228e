#include "core/CoreUI.h"

namespace {
CoreUI builtInCoreUI;
}

CoreUI* theCoreUI = &builtInCoreUI;
