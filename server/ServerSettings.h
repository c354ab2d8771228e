// The server side's preferences. load and save: the core task thread (message 0) and the
// main thread at shut-down; the flags are atomic, since a command given on the command
// line sets them from the main thread while the core task thread reads them.
//
// Kept as integers in the settings record (pref.met): "auto", "recon", "servRemove".
#pragma once

#include <atomic>

#include "i4min/string/i4_string.h"

class ServerSettings {
public:
    ServerSettings();

    // The server.met path from the base directory, then each flag from the settings
    // record; only a missing key takes its default.
    void load();
    // Writes the flags back into the settings record.
    void save();

    const i4_string& serverMetPath() const { return path; }

    // Connect to a server by itself while not connected (default off).
    std::atomic<int> autoConnect;
    // Kept with the settings; nothing else reads it (default on).
    std::atomic<int> recon;
    // Forget servers that stop answering (default on).
    std::atomic<int> servRemove;

private:
    i4_string path;
};

extern ServerSettings theServerSettings;
