#include "transfer/source/OtherSourceInterface.h"

OtherSourceInterface::~OtherSourceInterface() {}

int OtherSourceInterface::displayState() {
    return 0;
}

void OtherSourceInterface::getRanges(uint32_t starts[3], uint32_t ends[3]) {
    for (int i = 0; i < 3; ++i) starts[i] = ends[i] = 0;
}

const char* OtherSourceInterface::getSourceName() {
    return nullptr;
}

const char* OtherSourceInterface::getFileName() {
    return nullptr;
}

bool OtherSourceInterface::tick(int) {
    return false;
}
