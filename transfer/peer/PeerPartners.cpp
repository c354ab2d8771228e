#include "transfer/peer/PeerPartners.h"

bool PeerPartners::acceptPartner(Peer*, const uint8_t*) {
    return false;
}
