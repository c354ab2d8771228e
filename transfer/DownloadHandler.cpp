#include "transfer/DownloadHandler.h"

#include <memory>

#include "core/MessageQ.h"
#include "core/TaskThread.h"
#include "i4min/string/i4_string.h"
#include "meta/FileMeta.h"
#include "transfer/ClientPool.h"
#include "transfer/DLPool.h"
#include "transfer/Download.h"
#include "transfer/DownloadWorker.h"

DownloadHandler theDownloadHandler;

void DownloadHandler::start(MessageQ& queue, TaskThread& thread) {
    static const int ids[] = {MSG_START_DOWNLOAD,  MSG_CANCEL_DOWNLOAD, MSG_END_DOWNLOAD,
                              MSG_PAUSE_DOWNLOAD,  MSG_RESUME_DOWNLOAD, MSG_CHECK_DISK_SPACE,
                              MSG_RERANK_DOWNLOADS};
    for (int id : ids) queue.setHandler(this, id);
    theDownloadWorkers = &theDownloadWorker;
    thePeerDownloads = &theDLPool.peerAnswer;
    theClientPool.addListener(&theDLPool);
    thread.addTask(&theDLPool);
}

void DownloadHandler::stop() {
    theDownloadWorker.abandon();
    theDLPool.removeAll();
}

void DownloadHandler::handleMessage(Message* message) {
    switch (message->id) {
    case MSG_START_DOWNLOAD:
        if (FileMeta* record = message->get<FileMeta>()) theDLPool.startDownload(record);
        break;
    case MSG_END_DOWNLOAD:
    case MSG_PAUSE_DOWNLOAD:
    case MSG_RESUME_DOWNLOAD:
    case MSG_CANCEL_DOWNLOAD: {
        // The message's own reference keeps the download alive here, even
        // when an earlier message ended it.
        Download* d = message->get<Download>();
        if (!d) break;
        if (message->id == MSG_END_DOWNLOAD)
            theDLPool.endDownload(d);
        else if (message->id == MSG_PAUSE_DOWNLOAD)
            d->pause();
        else if (message->id == MSG_RESUME_DOWNLOAD)
            d->resume();
        else
            d->cancel();
        break;
    }
    case MSG_CHECK_DISK_SPACE:
        theDLPool.checkSpace();
        break;
    case MSG_RERANK_DOWNLOADS:
        theDLPool.rerank();
        break;
    default:
        break;
    }
}
