// The client's settings and its own identity. The lock guards only the own
// record's client id, server ip and port, door port, name and network form,
// which connect threads and the core task thread use at once. Everything else
// belongs to the core task thread, or to the main thread while that thread is
// not running (load before it starts, save after it stopped).
//
// pref.met (integers little-endian):
//   the own user record in its disk form, without the tag "pr"
//   the settings record in its disk form: u32 tag count, then the tags
#pragma once

#include <stdint.h>
#include <string>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "meta/Meta.h"
#include "meta/UserMeta.h"

class i4_file;
class i4_proxy_settings;

class CoreOptions {
public:
    enum {
        VERSION = 10501,
        DEFAULT_MAX_CON = 45,
        DEFAULT_SCREEN_LINES = 24,
        MAX_NAME = 64,
        // Stored values beyond these are damage, not choices: they fall back to
        // the default.
        MAX_CON_LIMIT = 65535,
        MAX_SCREEN_LINES = 100000,
    };
    // An upload limit above this means no limit.
    static constexpr double MAX_LIMIT = 999999.0;
    static constexpr double DEFAULT_TOP_SPEED = 5.0;

    CoreOptions();
    virtual ~CoreOptions();

    // The working directory without a trailing separator, or "." when the
    // system cannot name it (removed, or too long): never the root by mistake.
    static i4_string workingDirectory();

    // Generic accessors of the settings record; no lock.
    bool getIntPref(const char* key, int* out);
    // The text of a string tag of that name, or null.
    const char* getStringPref(const char* key);
    void setIntPref(const char* key, int value);
    // Kept whole up to 4,095 bytes, so a long path reads back as it was set.
    void setStringPref(const char* key, const char* text);

    // The own record, each under the lock.
    uint32_t setClientId(uint32_t id);
    uint32_t getClientId();
    void setDoorPort(uint16_t port);
    uint16_t getDoorPort();
    void setServerIp(uint32_t ip);
    uint32_t getServerIp();
    void setServerPort(uint16_t port);
    uint16_t getServerPort();
    int getUserMetaSize();
    bool writeUserMeta(i4_file& f);
    // A copy of the own record, taken under the lock.
    void copyOwnUser(UserMeta& out);
    i4_string getUserName();
    // Keeps the first MAX_NAME characters.
    void setUserName(const char* name);

    // Each applies the download cap: a slow upload limits the download.
    void setMaxUpload(double kbPerSecond);
    void setMaxDownload(double kbPerSecond);
    double getMaxUpload() const { return maxUpload; }
    double getMaxDownload() const { return maxDownload; }

    // Makes a copy of the record the proxy in force (null: direct) and hands it
    // to the connection protocol; false when it equals the one in force.
    bool setProxy(const i4_proxy_settings* proxy);
    // Loads name + ".str" from the base directory into the plain string table and
    // gives the special tags their localised display names. The name comes from a
    // command or a controller: anything but one plain file name is refused (false).
    bool setLanguage(const char* name);

    // Reads pref.met from the base directory (the working directory for null),
    // or its ".bak" when pref.met is missing, unreadable or damaged. What was
    // wrong is said on the console. A damaged copy whose user record is whole
    // keeps the identity and the settings before the damage; only without any
    // identity does the client make a new one. True when an identity was read.
    bool load(const char* baseDirectory = nullptr);
    // Replaces pref.met whole or not at all; a failure keeps the old file and
    // prints "Settings couldn't be saved" and why. A pref.met that could not be
    // read is never replaced.
    bool save();
    // What save would write, without writing it: the settings of the record's own fields
    // are put into it first. False when the records cannot be put into bytes.
    bool prefBytes(std::string& out);
    // True when load found neither pref.met nor its ".bak": the first start in this
    // directory, whose new identity is worth writing at once.
    bool isFirstStart() const { return firstStart; }

    Meta* getPrefs() { return &prefs; }
    UserMeta* getOwnUser() { return &ownUser; }
    const i4_string& getBaseDir() const { return baseDir; }
    const i4_string& getPrefPath() const { return prefPath; }
    const i4_string& getFiltersPath() const { return filtersPath; }
    const i4_string& getLanguageFile() const { return languageFile; }

    // Read and written directly by the pools and commands.
    int maxCon;
    double upRate;
    double downRate;
    double maxUpSpeed;
    double maxDownSpeed;
    double lineDown;
    bool partstyle;

private:
    CoreOptions(const CoreOptions&) = delete;
    CoreOptions& operator=(const CoreOptions&) = delete;

    // From worst to best.
    enum ReadResult { MISSING, DAMAGED, IDENTITY_ONLY, READ };
    // pref.met, or its ".bak" when that is the better copy; says on the console
    // what was wrong with them.
    ReadResult readPrefs();
    // One copy's bytes into the records (emptied first).
    ReadResult parsePrefs(const std::string& bytes);
    void takeStoredValues();
    void makeIdentity();
    // Version 10501 and "pr" = 1, held in memory whatever the file said.
    void markOwnUser();
    bool getFloatPref(const char* key, double* out);
    void setFloatPref(const char* key, double value);
    void putProxyIntoPrefs();
    void takeProxyFromPrefs();
    bool writePrefs(const std::string& content);
    void loadStringTable();

    i4_mutex lock;
    Meta prefs;
    UserMeta ownUser;
    i4_string prefPath;
    i4_string languageFile;
    double maxDownload;
    double maxUpload;
    i4_string baseDir;
    i4_string filtersPath;
    // The page length last loaded, kept for save when there is no pager.
    int screenLines;
    // Why the last save failed.
    std::string saveError;
    bool firstStart;
};

extern CoreOptions theCoreOptions;
// The proxy in force, owned by the settings; null for a direct connection.
extern i4_proxy_settings* theProxySettings;
