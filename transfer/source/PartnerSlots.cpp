#include "transfer/source/PartnerSlots.h"

PartnerSlots::~PartnerSlots() {}

bool PartnerSlots::hasRoom() {
    return false;
}

void PartnerSlots::setHighest(Download*) {}
