// Console command handlers: on the core task thread (or the main thread for a
// command-line argument), one at a time, like every handler.
#pragma once

// The console's view of the upload side.
class UploadCommands {
public:
    // "vu": each upload slot with its file, peer and rate (and priority in master mode),
    // then the total and peak upload rate.
    static void viewUploads(char* line);
    // "vq": the waiting peers, per file queue in service order.
    static void viewQueue(char* line);
};
