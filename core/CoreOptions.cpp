#include "core/CoreOptions.h"

#include <math.h>
#include <string>

#include "core/PageViewer.h"
#include "core/ProtocolHolder.h"
#include "core/StringTable.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_random.h"
#include "meta/MetaTag.h"
#include "meta/MetaTagString.h"
#include "meta/SpecialTagInfo.h"
#include "util/UniqueID.h"

CoreOptions theCoreOptions;
i4_proxy_settings* theProxySettings = nullptr;

namespace {

const char SEPARATOR = '/';
const int STRINGS_SETTINGS_NOT_SAVED = 20;

// A float kept in pref.met that is not a finite, non-negative number is damage.
bool usable(double v) {
    return isfinite(v) && v >= 0;
}

// A slow upload limits the download, and forbids an unlimited one.
double capDownload(double up, double down) {
    if (up > 0 && up < 5) {
        if (down == 0 || down > 3 * up) down = 3 * up;
    } else if (up >= 5 && up < 10) {
        if (down == 0 || down > 4 * up) down = 4 * up;
    }
    return down;
}

// pref.met holds a record and a few dozen settings; anything near this is damage.
const int64_t MAX_PREF_BYTES = 16 * 1024 * 1024;

// The whole content of the open copy; false when it cannot be read or is too big.
bool readWhole(i4_file* f, std::string* out) {
    int64_t size = f->size();
    if (size < 0 || size > MAX_PREF_BYTES) return false;
    out->resize((size_t)size);
    int32_t got = size ? f->read(&(*out)[0], (int32_t)size) : 0;
    if (got != (int32_t)size) return false;
    char more;
    return f->read(&more, 1) == 0;
}

void replaceProxy(i4_proxy_settings* proxy) {
    delete theProxySettings;
    theProxySettings = proxy;
}

}  // namespace

CoreOptions::CoreOptions()
    : maxCon(DEFAULT_MAX_CON),
      upRate(0),
      downRate(0),
      maxUpSpeed(DEFAULT_TOP_SPEED),
      maxDownSpeed(DEFAULT_TOP_SPEED),
      lineDown(0),
      partstyle(false),
      prefPath(""),
      languageFile("default.str"),
      maxDownload(0),
      maxUpload(0),
      baseDir(""),
      filtersPath(""),
      screenLines(DEFAULT_SCREEN_LINES),
      firstStart(false) {}

CoreOptions::~CoreOptions() {
    replaceProxy(nullptr);
}

bool CoreOptions::getIntPref(const char* key, int* out) {
    int32_t v;
    if (!prefs.findTagInt(key, &v)) return false;
    if (out) *out = v;
    return true;
}

const char* CoreOptions::getStringPref(const char* key) {
    MetaTag* tag = prefs.findTag(key);
    return tag && tag->getType() == MetaTag::STRING ? (const char*)tag->getValue() : nullptr;
}

void CoreOptions::setIntPref(const char* key, int value) {
    int32_t v = value;
    prefs.setTag(key, &v, MetaTag::INT);
}

void CoreOptions::setStringPref(const char* key, const char* text) {
    prefs.setTag(key, nullptr, MetaTag::STRING);
    // A setting may be a long path: kept whole, not cut like a text for the network.
    MetaTag* tag = prefs.findTag(key);
    if (tag && tag->getType() == MetaTag::STRING)
        static_cast<MetaTagString*>(tag)->setStoredValue(text);
}

bool CoreOptions::getFloatPref(const char* key, double* out) {
    MetaTag* tag = prefs.findTag(key);
    if (!tag || tag->getType() != MetaTag::FLOAT) return false;
    *out = *(const float*)tag->getValue();
    return true;
}

void CoreOptions::setFloatPref(const char* key, double value) {
    float v = (float)value;
    prefs.setTag(key, &v, MetaTag::FLOAT);
}

uint32_t CoreOptions::setClientId(uint32_t id) {
    i4_lock hold(&lock);
    uint32_t old = ownUser.ip;
    ownUser.ip = id;
    return old;
}

uint32_t CoreOptions::getClientId() {
    i4_lock hold(&lock);
    return ownUser.ip;
}

void CoreOptions::setDoorPort(uint16_t port) {
    i4_lock hold(&lock);
    ownUser.port = port;
}

uint16_t CoreOptions::getDoorPort() {
    i4_lock hold(&lock);
    return ownUser.port;
}

void CoreOptions::setServerIp(uint32_t ip) {
    i4_lock hold(&lock);
    ownUser.serverIp = ip;
}

uint32_t CoreOptions::getServerIp() {
    i4_lock hold(&lock);
    return ownUser.serverIp;
}

void CoreOptions::setServerPort(uint16_t port) {
    i4_lock hold(&lock);
    ownUser.serverPort = port;
}

uint16_t CoreOptions::getServerPort() {
    i4_lock hold(&lock);
    return ownUser.serverPort;
}

int CoreOptions::getUserMetaSize() {
    i4_lock hold(&lock);
    return ownUser.size();
}

bool CoreOptions::writeUserMeta(i4_file& f) {
    i4_lock hold(&lock);
    return ownUser.toNetwork(f);
}

void CoreOptions::copyOwnUser(UserMeta& out) {
    i4_lock hold(&lock);
    out.copy(&ownUser);
}

i4_string CoreOptions::getUserName() {
    i4_lock hold(&lock);
    return i4_string(ownUser.getName());
}

void CoreOptions::setUserName(const char* name) {
    i4_string kept(name ? name : "");
    if (kept.length() > MAX_NAME) kept.truncate(MAX_NAME);
    i4_lock hold(&lock);
    ownUser.setName(kept.c_str());
}

void CoreOptions::setMaxUpload(double kbPerSecond) {
    double up = kbPerSecond;
    // A negative or unreadable limit is no limit, like one too large to mean anything.
    if (!usable(up) || up > MAX_LIMIT) up = 0;
    maxDownload = capDownload(up, maxDownload);
    maxUpload = up;
}

void CoreOptions::setMaxDownload(double kbPerSecond) {
    double down = usable(kbPerSecond) ? kbPerSecond : 0;
    maxDownload = capDownload(maxUpload, down);
}

bool CoreOptions::setProxy(const i4_proxy_settings* proxy) {
    if (proxy) {
        // No record in force means a direct connection, which a direct record equals.
        if (i4_proxy_settings::equals(proxy, theProxySettings)) return false;
        replaceProxy(proxy->copy());
    } else {
        if (!theProxySettings || i4_proxy_settings::equals(theProxySettings, nullptr)) return false;
        replaceProxy(nullptr);
    }
    theProtocolHolder.setProxy(theProxySettings);
    return true;
}

bool CoreOptions::setLanguage(const char* name) {
    if (!i4_is_safe_name(name, 200)) return false;
    languageFile.format("%s.str", name);
    loadStringTable();
    theStringTable.copyUiStrings();
    return true;
}

void CoreOptions::loadStringTable() {
    i4_string path;
    path.format("%s%c%s", baseDir.c_str(), SEPARATOR, languageFile.c_str());
    theStringTable.setUp(path.c_str());
}

i4_string CoreOptions::workingDirectory() {
    i4_string dir;
    i4_get_cwd(dir);
    int n = dir.length();
    if (n == 0) return i4_string(".");
    if (n > 1 && dir.c_str()[n - 1] == SEPARATOR) dir.truncate(n - 1);
    return dir;
}

bool CoreOptions::load(const char* baseDirectory) {
    i4_random_seed();
    baseDir = baseDirectory ? i4_string(baseDirectory) : workingDirectory();
    int n = baseDir.length();
    if (n > 0 && baseDir.c_str()[n - 1] == SEPARATOR) baseDir.truncate(n - 1);
    filtersPath.format("%s%cfilters.txt", baseDir.c_str(), SEPARATOR);
    prefPath.format("%s%c%s", baseDir.c_str(), SEPARATOR, "pref.met");

    ReadResult result = readPrefs();
    i4_file_status status;
    i4_string bak(prefPath);
    bak.append(".bak");
    firstStart = result == MISSING && !i4_get_status(prefPath.c_str(), status) &&
                 !i4_get_status(bak.c_str(), status);
    markOwnUser();
    if (result >= IDENTITY_ONLY) {
        takeStoredValues();
    } else {
        makeIdentity();
        replaceProxy(i4_default_proxy_settings());
    }
    loadStringTable();
    return result >= IDENTITY_ONLY;
}

CoreOptions::ReadResult CoreOptions::readPrefs() {
    i4_safe_file safe(prefPath.c_str(), I4_READ);
    // Set when pref.met is there but cannot be read: the safe file then never
    // replaces it, and the user learns why.
    std::string unreadable = safe.error() ? safe.error() : "";
    bool firstIsBackup = safe.reading_backup();
    std::string first, second;
    ReadResult result = MISSING;
    bool fromBackup = false;
    if (safe.get()) {
        result = readWhole(safe.get(), &first) ? parsePrefs(first) : DAMAGED;
        fromBackup = firstIsBackup;
        // A damaged pref.met gives way to a whole ".bak"; the better copy is
        // parsed last, so that the records hold it.
        if (result != READ && !firstIsBackup && safe.use_backup()) {
            ReadResult other = readWhole(safe.get(), &second) ? parsePrefs(second) : DAMAGED;
            if (other > result) {
                result = other;
                fromBackup = true;
            } else {
                parsePrefs(first);
            }
        }
    }

    // A first start is normal and says nothing; anything else is worth a line.
    const char* name = prefPath.c_str();
    const char* bak = safe.backup_name().c_str();
    i4_string problem;
    if (!unreadable.empty())
        problem.format("%s cannot be read (%s)", name, unreadable.c_str());
    else if (firstIsBackup)
        problem.format(result == READ ? "%s is missing" : "%s is missing and %s is damaged", name,
                       bak);
    else if (result != MISSING)
        problem.format("%s is damaged", name);
    if (result == READ && !fromBackup) return READ;
    if (result == READ)
        theUI->printLine("%s: settings taken from %s", problem.c_str(), bak);
    else if (result == IDENTITY_ONLY)
        theUI->printLine("%s: the identity and the settings before the damage are kept%s%s",
                         problem.c_str(), fromBackup ? " from " : "", fromBackup ? bak : "");
    else if (!problem.is_empty())
        theUI->printLine("%s: starting with a new identity", problem.c_str());
    return result;
}

CoreOptions::ReadResult CoreOptions::parsePrefs(const std::string& bytes) {
    i4_lock hold(&lock);
    // Each copy is read into empty records; what a damaged copy gave before the
    // damage stays for the subsystems that read their keys later.
    prefs.clearTags();
    ownUser.clearTags();
    UniqueID::clear(ownUser.hash);
    ownUser.ip = 0;
    ownUser.port = 0;

    i4_ram_file_class in((void*)bytes.data(), (int32_t)bytes.size(), 0);
    bool user, settings = false;
    try {
        user = ownUser.fromDisk(in);
        if (user) settings = prefs.fromDiskKeepingPart(in);
    } catch (const i4_err&) {
        user = false;
    }
    ownUser.getName();
    if (!user || UniqueID::isZero(ownUser.hash)) {
        prefs.clearTags();
        return DAMAGED;
    }
    ownUser.removeSpecialTag(SpecialTagInfo::PORT);
    return settings ? READ : IDENTITY_ONLY;
}

void CoreOptions::markOwnUser() {
    int32_t version = VERSION;
    int32_t one = 1;
    i4_lock hold(&lock);
    ownUser.setSpecialTag(SpecialTagInfo::VERSION, &version);
    ownUser.setTag("pr", &one, MetaTag::INT);
}

void CoreOptions::makeIdentity() {
    char name[6];
    for (int i = 0; i < 5; i++) name[i] = (char)('a' + i4_random(25));
    name[5] = 0;
    i4_lock hold(&lock);
    UniqueID::randomize(ownUser.hash);
    ownUser.setName(name);
}

void CoreOptions::takeStoredValues() {
    double v;
    if (getFloatPref("userMaxUpF", &v)) maxUpload = usable(v) ? v : 0;
    if (getFloatPref("userMaxDownF", &v)) maxDownload = usable(v) ? v : 0;
    lineDown = getFloatPref("lineDown", &v) && usable(v) ? v : 0;
    setMaxUpload(maxUpload);
    setMaxDownload(maxDownload);
    maxUpSpeed = getFloatPref("maxUpSpeed", &v) && usable(v) && v > 0 ? v : DEFAULT_TOP_SPEED;
    maxDownSpeed = getFloatPref("maxDownSpeed", &v) && usable(v) && v > 0 ? v : DEFAULT_TOP_SPEED;

    int n;
    if (getIntPref("maxCon", &n) && n != 0)
        maxCon = n >= 1 && n <= MAX_CON_LIMIT ? n : (int)DEFAULT_MAX_CON;
    screenLines = getIntPref("screenLines", &n) && n >= 1 && n <= MAX_SCREEN_LINES
                      ? n
                      : (int)DEFAULT_SCREEN_LINES;
    if (thePageViewer) thePageViewer->setLines(screenLines);
    if (getIntPref("partstyle", &n)) partstyle = n != 0;
    takeProxyFromPrefs();
}

void CoreOptions::takeProxyFromPrefs() {
    i4_proxy_settings* proxy = i4_default_proxy_settings();
    int type = 0;
    getIntPref("pType", &type);
    // An unknown kind of proxy cannot be spoken to: connect directly instead.
    if (type > I4_PROXY_DIRECT && type <= I4_PROXY_HTTP) {
        proxy->type = (uint32_t)type;
        proxy->host = i4_strdup(getStringPref("pSName"));
        int port = 0;
        getIntPref("pPort", &port);
        proxy->port = port;
        proxy->user = i4_strdup(getStringPref("pUName"));
        proxy->password = i4_strdup(getStringPref("pUPass"));
    }
    replaceProxy(proxy);
}

void CoreOptions::putProxyIntoPrefs() {
    if (theProxySettings && theProxySettings->type != I4_PROXY_DIRECT) {
        setIntPref("pType", (int)theProxySettings->type);
        setStringPref("pSName", theProxySettings->host);
        setIntPref("pPort", theProxySettings->port);
        setStringPref("pUName", theProxySettings->user);
        setStringPref("pUPass", theProxySettings->password);
    } else {
        setIntPref("pType", I4_PROXY_DIRECT);
    }
}

bool CoreOptions::prefBytes(std::string& out) {
    putProxyIntoPrefs();
    setFloatPref("userMaxUpF", maxUpload);
    setFloatPref("userMaxDownF", maxDownload);
    setFloatPref("lineDown", lineDown);
    setFloatPref("maxUpSpeed", maxUpSpeed);
    setFloatPref("maxDownSpeed", maxDownSpeed);
    setIntPref("maxCon", maxCon);
    setIntPref("screenLines", thePageViewer ? thePageViewer->getLines() : screenLines);
    setIntPref("partstyle", partstyle ? 1 : 0);
    i4_ram_file_class content(nullptr, 0, 4096);
    bool made;
    {
        i4_lock hold(&lock);
        ownUser.removeTag("pr");
        try {
            made = ownUser.toBytes(content) && prefs.toBytes(content);
        } catch (const i4_err&) {
            made = false;
        }
        int32_t one = 1;
        ownUser.setTag("pr", &one, MetaTag::INT);
    }
    if (made) out.assign((const char*)content.get_buffer(), (size_t)content.size());
    i4_free(content.get_buffer());
    return made;
}

bool CoreOptions::save() {
    // The whole content is made first, so that only a complete file is ever
    // handed to the replacement.
    std::string content;
    if (prefBytes(content)) {
        if (writePrefs(content)) return true;
    } else {
        saveError = "the settings could not be put into bytes";
    }
    const char* text = theXMLStringTable.get(STRINGS_SETTINGS_NOT_SAVED);
    theUI->printLine("%s", text ? text : "");
    theUI->printLine("%s was not replaced: %s", prefPath.c_str(), saveError.c_str());
    return false;
}

bool CoreOptions::writePrefs(const std::string& content) {
    int32_t n = (int32_t)content.size();
    i4_safe_file out(prefPath.c_str(), I4_WRITE | I4_TRUNCATE);
    i4_file* f = out.get();
    bool ok = f && f->write(content.data(), n) == n;
    ok = out.close() && ok;
    if (!ok) saveError = out.error() ? out.error() : "write failed";
    return ok;
}
