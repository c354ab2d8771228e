#include "transfer/share/TransferOptions.h"

#include "core/CoreOptions.h"
#include "core/TransferUI.h"
#include "i4min/file/i4_path.h"
#include "i4min/threads/linux/i4_lock.h"

TransferOptions theTransferOptions;

namespace {

const char SEPARATOR = '/';

int configuredDoorPort() {
    return theTransferOptions.getDoorPort();
}

int intSetting(CoreOptions& settings, const char* key, int fallback) {
    int v;
    return settings.getIntPref(key, &v) ? v : fallback;
}

}  // namespace

TransferOptions::TransferOptions()
    : pmAllow(0),
      frAllow(0),
      saveCor(1),
      verifyCancel(1),
      resHD(DEFAULT_RESERVE),
      settingsRecord(&theCoreOptions),
      incoming(""),
      temp(""),
      doorPort(DEFAULT_DOOR_PORT),
      knownPath(""),
      sharePath(""),
      friendPath(""),
      uploadQueuePath("") {
    TransferUI::setDoorPortSource(configuredDoorPort);
}

i4_string TransferOptions::directorySetting(CoreOptions& settings, const char* key,
                                            const char* fallback) {
    const char* stored = settings.getStringPref(key);
    if (stored && *stored) return i4_string(stored);
    i4_string dir;
    dir.format("%s%c%s", settings.getBaseDir().c_str(), SEPARATOR, fallback);
    return dir;
}

void TransferOptions::load(CoreOptions& settings) {
    settingsRecord = &settings;
    const char* base = settings.getBaseDir().c_str();
    knownPath.format("%s%c%s", base, SEPARATOR, "known.met");
    friendPath.format("%s%c%s", base, SEPARATOR, "friend.met");
    sharePath.format("%s%c%s", base, SEPARATOR, "share.dat");
    uploadQueuePath.format("%s%cuploadq.dat", base, SEPARATOR);

    // A port no socket can have is damage, not a choice.
    int port = intSetting(settings, "doorPort", DEFAULT_DOOR_PORT);
    if (port < 1 || port > 65535) port = DEFAULT_DOOR_PORT;
    doorPort = port;
    settings.setDoorPort((uint16_t)port);

    i4_string in = directorySetting(settings, "incoming", "incoming");
    i4_string tmp = directorySetting(settings, "temp", "temp");
    {
        i4_lock hold(&lock);
        incoming = in;
        temp = tmp;
    }

    saveCor = intSetting(settings, "saveCor", 1);
    verifyCancel = intSetting(settings, "verifyCancel", 1);
    pmAllow = intSetting(settings, "pmAllow", 0);
    frAllow = intSetting(settings, "frAllow", 0);
    int reserveKiB;
    if (settings.getIntPref("resHD", &reserveKiB) && reserveKiB >= 0)
        resHD = (uint64_t)reserveKiB * 1024;
    else
        resHD = DEFAULT_RESERVE;

    i4_make_path(in.c_str());
    i4_make_path(tmp.c_str());
}

void TransferOptions::load() {
    load(theCoreOptions);
}

void TransferOptions::save(CoreOptions& settings) {
    settings.setIntPref("doorPort", doorPort.load());
    settings.setStringPref("incoming", getIncoming().c_str());
    settings.setStringPref("temp", getTemp().c_str());
    settings.setIntPref("saveCor", saveCor);
    settings.setIntPref("verifyCancel", verifyCancel);
    settings.setIntPref("pmAllow", pmAllow);
    settings.setIntPref("frAllow", frAllow);
    settings.setIntPref("resHD", (int)(resHD / 1024));
}

void TransferOptions::save() {
    save(theCoreOptions);
}

i4_string TransferOptions::getIncoming() {
    i4_lock hold(&lock);
    return incoming;
}

i4_string TransferOptions::getTemp() {
    i4_lock hold(&lock);
    return temp;
}

bool TransferOptions::setIncoming(const char* path) {
    i4_lock hold(&lock);
    // Completions would only fail later, one by one, in a directory that is not there.
    if (!i4_make_path(path)) return false;
    incoming = path;
    return true;
}

bool TransferOptions::setTemp(const char* path) {
    i4_lock hold(&lock);
    if (temp.equals(path) || !i4_make_path(path)) return false;
    temp = path;
    return true;
}

bool TransferOptions::setDoorPort(int port) {
    if (port == doorPort.load()) return false;
    doorPort = port;
    settingsRecord->setDoorPort((uint16_t)port);
    return true;
}
