#include "transfer/download/DLS_Highest.h"

#include "core/MessageQ.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/source/FileSourceInterface.h"
#include "transfer/source/PartnerSlots.h"
#include "util/LLView.h"

namespace {
const double PERFECT_SCORE = 100.0;
}

DLS_Highest::DLS_Highest(Download* d) : DLS_Downloading(d) {
    d->setPriority(Download::PRIORITY_HIGHEST);
}

DLS_Highest::~DLS_Highest() {
    download->setPriority(Download::PRIORITY_HIGH);
    theMessageQ.post(MSG_RERANK_DOWNLOADS);
}

bool DLS_Highest::setHighest() {
    download->setPriority(Download::PRIORITY_HIGHEST);
    return true;
}

void DLS_Highest::tick(int elapsedMs) {
    if (theDLPool.services().partnerSlots->hasRoom()) {
        // The earlier source wins a tie; a perfect score ends the search.
        FileSourceInterface* best = nullptr;
        double bestScore = 0.0;
        for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources())) {
            double score = s->partnerScore();
            if (score > bestScore) {
                best = s;
                bestScore = score;
            }
            if (score == PERFECT_SCORE) break;
        }
        if (best) best->askPartner();
    }
    DLS_Downloading::tick(elapsedMs);
}

void DLS_Highest::partnerAccepted(Peer* connection) {
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        if (s->partnerAccepted(connection)) return;
}

void DLS_Highest::partnerDenied(Peer* connection) {
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        if (s->partnerDenied(connection)) return;
}
