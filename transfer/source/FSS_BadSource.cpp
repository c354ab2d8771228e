#include "transfer/source/FSS_BadSource.h"

FSS_BadSource::FSS_BadSource(FileSource* s) : FileSourceState(s, BAD_SOURCE) {}

bool FSS_BadSource::tick(int) {
    return false;
}

bool FSS_BadSource::openSlot() {
    return false;
}

void FSS_BadSource::connectionLost() {}

double FSS_BadSource::partnerScore() {
    return -1.0;
}
