#include "transfer/source/FSS_TestPartner.h"

#include "transfer/source/FSS_Partner.h"
#include "transfer/source/FSS_Transfering.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/PartnerManager.h"

FSS_TestPartner::FSS_TestPartner(FileSource* s) : FSS_Partner(s), waited(0) {
    thePartnerManager.addPartner(s);
}

bool FSS_TestPartner::tick(int elapsedMs) {
    waited += elapsedMs;
    if (waited <= TRIAL_MS) return true;
    waited = 0;
    FileSource* s = source;
    if (thePartnerManager.wantsPartner(s)) {
        registered = false;
        s->setState(new FSS_Partner(s));
        thePartnerManager.dropLowest();
    } else {
        // Still registered: the ending trial sets the cool-down and leaves the manager.
        s->setState(new FSS_Transfering(s));
    }
    return true;
}
