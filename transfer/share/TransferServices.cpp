#include "transfer/share/TransferServices.h"

#include "transfer/download/DownloadWorkers.h"
#include "transfer/peer/PeerChat.h"
#include "transfer/peer/PeerDownloads.h"
#include "transfer/peer/PeerFriends.h"
#include "transfer/peer/PeerPartners.h"
#include "transfer/peer/PeerShares.h"
#include "transfer/peer/PeerUploads.h"
#include "transfer/source/PartnerSlots.h"
#include "transfer/source/SourceMaker.h"
#include "transfer/upload/UploadNotices.h"

namespace {
// The interfaces' own bodies are the stand-ins' answers.
PeerDownloads noDownloads;
PeerUploads noUploads;
PeerShares nothingShared;
PeerFriends noFriends;
PeerChat noChat;
PeerPartners noPeerPartners;
SourceMaker noSources;
PartnerSlots noPartnerSlots;
UploadNotices nobodyUploads;
DownloadWorkers nobodyWorks;
}  // namespace

TransferServices::TransferServices()
    : downloads(&noDownloads),
      uploads(&noUploads),
      shares(&nothingShared),
      friends(&noFriends),
      chat(&noChat),
      partners(&noPeerPartners),
      sourceMaker(&noSources),
      partnerSlots(&noPartnerSlots),
      uploadNotices(&nobodyUploads),
      workers(&nobodyWorks) {}

TransferServices& TransferServices::beforeStart() {
    static TransferServices record;
    return record;
}
