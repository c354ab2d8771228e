#include "ui/DownloadCommands.h"

#include <stdlib.h>
#include <string.h>

#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/PageViewer.h"
#include "core/StringTable.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "ui/CommandArgs.h"
#include "ui/Servant.h"
#include "util/LLView.h"

namespace {

// The status text of id 14 while the download runs at some speed.
const int TRANSFERRING = 14;

void pagerOn() {
    if (thePageViewer) thePageViewer->begin();
}
}  // namespace

void DownloadCommands::viewDownloads(char*) {
    pagerOn();
    theUI->printLine(
        "%s", theXMLStringTable
                  .localized("viewDownHeader",
                             "File Name\tStatus\tSize\tTransfered\tSpeed\tAvailable\tPriority")
                  .c_str());
    {
        i4_lock hold(&theDLPool.getDownloads());
        int n = 0;
        for (Download* d : LLView<Download>(theDLPool.getDownloads())) {
            n++;
            PartialFile* file = d->getPartialFile();
            double speed = d->getSpeed();
            int status = speed != 0 ? TRANSFERRING : d->getStatus();
            // A download busy on another thread shows as such, not as a blank.
            const char* text = status ? theXMLStringTable.get(status) : "Busy";
            uint64_t transferred =
                file && file->getTransferred() > 0 ? (uint64_t)file->getTransferred() : 0;
            theUI->printLine("(%d) %s:", n, i4_masked_line(d->getFileName()).c_str());
            theUI->printLine("\t\t%s\t%uk\t%uk\t%.2f\t%d%%\t%s", text ? text : "",
                             (unsigned)(d->getFileSize() / 1024), (unsigned)(transferred / 1024),
                             speed, (int)(d->getAvailability() * 100),
                             thePriorityNames[d->getPriority()].c_str());
        }
    }
    theUI->printLine("%s: %.2f (%.2f)", theXMLStringTable.localized("total", "Total").c_str(),
                     theCoreOptions.downRate, theCoreOptions.maxDownSpeed);
}

void DownloadCommands::changeDownload(char* line) {
    CommandArgs args(line);
    const char* number = args.next();
    const char* option = args.next();
    if (!number || !option) return;
    int n = atoi(number);
    if (n == 0) {
        theUI->printLine(
            "%s", theXMLStringTable.localized("invalidDownNum", "Invalid Download number").c_str());
        return;
    }
    Download* d = theDLPool.downloadAt(n - 1);
    if (!d) return;
    switch (option[0]) {
    case 'c':
        d->post(MSG_CANCEL_DOWNLOAD);
        break;
    case 'p':
        d->post(MSG_PAUSE_DOWNLOAD);
        break;
    case 'r':
        d->post(MSG_RESUME_DOWNLOAD);
        break;
    case 'l':
        theDLPool.setPriority(d, Download::PRIORITY_LOW);
        break;
    case 'n':
        theDLPool.setPriority(d, Download::PRIORITY_NORMAL);
        break;
    case 'h':
        theDLPool.setPriority(d, Download::PRIORITY_HIGH);
        break;
    case 'H':
        theDLPool.setPriority(d, Download::PRIORITY_HIGHEST);
        break;
    case 'v':
        pagerOn();
        d->showUserFileStatus();
        break;
    default:
        break;
    }
    d->release();
}
