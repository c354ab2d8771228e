#include "transfer/source/PartnerSlots.h"

namespace {
PartnerSlots noPartners;
}

PartnerSlots* thePartnerSlots = &noPartners;

PartnerSlots::~PartnerSlots() {}

bool PartnerSlots::hasRoom() {
    return false;
}

void PartnerSlots::setHighest(Download*) {}
