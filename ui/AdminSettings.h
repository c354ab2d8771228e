// Any thread: the name and the password are read by the login on the core task thread and
// set by "pass" on that thread or, as a command-line argument, on the main thread; `lock`
// guards both texts, the port is atomic. load and save touch the settings record, so they
// run where it may be touched: the core task thread, or the main thread while that thread
// is not running or has not yet been handed the record.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "i4min/string/i4_string.h"

class CoreOptions;

// Which port remote controllers connect to and the name and password they must give.
// Settings keys: "adminName" and "adminPass" (strings, empty by default) and
// "adminDoorPort" (integer, 4663 by default).
class AdminSettings {
public:
    enum { DEFAULT_DOOR_PORT = 4663 };

    AdminSettings();

    // Absent keys give the defaults; a stored port no socket can have gives 4663.
    void load(CoreOptions& settings);
    void load();
    // The three keys into the settings record (the core writes pref.met).
    void save(CoreOptions& settings);
    void save();

    // Both are set, or both emptied when either is missing or empty.
    void setCredentials(const char* name, const char* pass);
    // True only for the stored name and password, byte for byte over the whole given texts,
    // and never while either is empty: blank credentials mean no remote control.
    bool accepts(const std::string& name, const std::string& pass);
    i4_string getName();
    i4_string getPass();

    int getDoorPort() const { return doorPort.load(); }
    // False, nothing changed, for a port outside 1..65535.
    bool setDoorPort(int port);

private:
    AdminSettings(const AdminSettings&) = delete;
    AdminSettings& operator=(const AdminSettings&) = delete;

    std::mutex lock;
    i4_string name;
    i4_string pass;
    std::atomic<int> doorPort;
};

extern AdminSettings theAdminSettings;

// The two calls of the application main.
void loadAdminSettings();
void saveAdminSettings();
