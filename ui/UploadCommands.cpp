#include "ui/UploadCommands.h"

#include <vector>

#include "core/CoreOptions.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/string/i4_string.h"
#include "meta/FileMeta.h"
#include "meta/UserMeta.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/upload/FileQueue.h"
#include "transfer/upload/UploadPool.h"
#include "transfer/upload/UploadSlot.h"
#include "ui/Servant.h"
#include "util/LLView.h"

void UploadCommands::viewUploads(char*) {
    theServant->getPager().begin();
    theUI->printLine(
        "%s", theXMLStringTable.localized("fileNameWhoSpeed", "File Name\t\tWho\t\tSpeed").c_str());
    std::vector<UploadSlot*> slots;
    theUploadPool.slots(slots);
    bool master = theServant->isMasterMode();
    int n = 1;
    for (UploadSlot* s : slots) {
        i4_string file;
        s->fileName(file);
        // Names are cells of a row: masked, so they make no rows or columns of their own.
        std::string who = i4_masked_line(s->peerName());
        std::string name = i4_masked_line(file.c_str());
        if (master)
            theUI->printLine("(%d) %s\t%s\t%.1f (%d)", n, name.c_str(), who.c_str(), s->rate(),
                             s->priority());
        else
            theUI->printLine("(%d) %s\t%s\t%.1f", n, name.c_str(), who.c_str(), s->rate());
        n++;
    }
    theUI->printLine("%s: %.2f (%.2f)", theXMLStringTable.localized("total", "Total").c_str(),
                     theCoreOptions.upRate, theCoreOptions.maxUpSpeed);
}

void UploadCommands::viewQueue(char*) {
    theServant->getPager().begin();
    UploadQueue& queue = theUploadPool.getQueue();
    theUI->printLine("%s (%d): ", theXMLStringTable.localized("uploadQ", "Upload Queue").c_str(),
                     queue.waitingCount());
    int n = 1;
    for (FileQueue* q : LLView<FileQueue>(&queue.getFileQueues())) {
        FileMeta* shared = theTransferGateway.sharedList.findByHash(q->getHash());
        if (shared)
            theUI->printLine("(%d) %s %d:", n, i4_masked_line(shared->getName()).c_str(),
                             q->getPriority());
        else
            theUI->printLine("(%d) ???? %d:", n, q->getPriority());
        int at = 1;
        for (UserMeta* u : LLView<UserMeta>(q))
            theUI->printLine("\t%d) %s", at++, i4_masked_line(u->getName()).c_str());
        n++;
    }
}
