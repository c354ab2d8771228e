// load and the setters: the core task thread (load at message 0); save: the core task
// thread, or the main thread once that thread has ended. The directory getters and
// getDoorPort: any thread (the hashing and completing threads read them); `lock` guards
// the two directory texts. The plain fields belong to the core task thread.
#pragma once

#include <atomic>
#include <stdint.h>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"

class CoreOptions;

// The transfer side's settings, kept as keys of the settings record, and the paths of its
// state files under the base directory.
class TransferOptions {
public:
    enum { DEFAULT_DOOR_PORT = 4662 };
    static constexpr uint64_t DEFAULT_RESERVE = 104857600;  // bytes kept free on the disks

    TransferOptions();

    // The keys "doorPort", "incoming", "temp", "saveCor", "verifyCancel", "pmAllow",
    // "frAllow" and "resHD" with their defaults; makes the incoming and temporary
    // directories with their parents.
    void load(CoreOptions& settings);
    void load();
    // Writes the eight keys back into the settings record (the core writes pref.met).
    void save(CoreOptions& settings);
    void save();

    i4_string getIncoming();
    i4_string getTemp();
    int getDoorPort() const { return doorPort.load(); }
    // Makes the directory with its parents and stores it; false, and the old one kept, when
    // it cannot be made.
    bool setIncoming(const char* path);
    // False, and nothing changed, when the path is the current one (exact comparison) or
    // cannot be made; else as setIncoming.
    bool setTemp(const char* path);
    // False when the port is the current one; else stores it, also as the core's.
    bool setDoorPort(int port);

    const i4_string& getKnownPath() const { return knownPath; }
    const i4_string& getSharePath() const { return sharePath; }
    const i4_string& getFriendPath() const { return friendPath; }
    const i4_string& getUploadQueuePath() const { return uploadQueuePath; }

    int pmAllow;
    int frAllow;
    int saveCor;
    int verifyCancel;
    uint64_t resHD;

private:
    TransferOptions(const TransferOptions&) = delete;
    TransferOptions& operator=(const TransferOptions&) = delete;

    i4_string directorySetting(CoreOptions& settings, const char* key, const char* fallback);

    i4_mutex lock;
    // The settings record that load read, which setDoorPort also tells.
    CoreOptions* settingsRecord;
    i4_string incoming;
    i4_string temp;
    std::atomic<int> doorPort;
    i4_string knownPath;
    i4_string sharePath;
    i4_string friendPath;
    i4_string uploadQueuePath;
};

extern TransferOptions theTransferOptions;
