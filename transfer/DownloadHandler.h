// start and stop: the main thread, while the core task thread is not running
// (stop after it has ended). handleMessage: the core task thread.
//
// The messages of the download side, until the transfer side's own handler
// takes them over: 10 starts a download; 11 ends one; 12, 13 and 14 pause,
// resume and cancel one; 23 checks the disk space; 29 loads the downloads of
// the temporary directory; 34 reranks. Messages naming a download carry a
// reference to it, which keeps it alive while the message waits.
#pragma once

#include "core/MessageHandler.h"

class MessageQ;
class TaskThread;

class DownloadHandler : public MessageHandler {
public:
    // Registers the handlers, puts the download pool on the core task thread,
    // makes it a listener of the connection pool and the answer to the peers'
    // questions about downloads, and puts the download worker in place.
    void start(MessageQ& queue, TaskThread& thread);
    // Ends the download worker's work, then saves and lets go of every download.
    void stop();
    void handleMessage(Message* message) override;
};

extern DownloadHandler theDownloadHandler;
