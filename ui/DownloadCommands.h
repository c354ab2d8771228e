// The handlers run where console commands run: on the core task thread
// through message 27, or on the main thread for command-line arguments.
//
// The console's download commands: "vd" lists the downloads and "m" acts on
// one.
#pragma once

class DownloadCommands {
public:
    static void viewDownloads(char* line);
    static void changeDownload(char* line);
};
