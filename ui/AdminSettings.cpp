#include "ui/AdminSettings.h"

#include <cstring>

#include "core/CoreOptions.h"
#include "i4min/threads/linux/i4_lock.h"

AdminSettings theAdminSettings;

namespace {

const char* const kNameKey = "adminName";
const char* const kPassKey = "adminPass";
const char* const kPortKey = "adminDoorPort";

bool validPort(int port) {
    return port >= 1 && port <= 65535;
}

// Every byte is compared whatever the first difference, so the time taken does not tell a
// guesser how much of a password was right. A given text is all its bytes, zero bytes
// included: "pw\0x" is not "pw".
bool sameText(const std::string& given, const char* stored) {
    size_t na = given.size(), nb = strlen(stored);
    size_t n = na > nb ? na : nb;
    unsigned char diff = na == nb ? 0 : 1;
    for (size_t i = 0; i < n; i++) {
        unsigned char x = i < na ? (unsigned char)given[i] : 0;
        unsigned char y = i < nb ? (unsigned char)stored[i] : 0;
        diff |= (unsigned char)(x ^ y);
    }
    return diff == 0;
}

}  // namespace

AdminSettings::AdminSettings() : name(""), pass(""), doorPort(DEFAULT_DOOR_PORT) {}

void AdminSettings::load(CoreOptions& settings) {
    int port = DEFAULT_DOOR_PORT;
    if (!settings.getIntPref(kPortKey, &port) || !validPort(port)) port = DEFAULT_DOOR_PORT;
    doorPort = port;
    const char* storedName = settings.getStringPref(kNameKey);
    const char* storedPass = settings.getStringPref(kPassKey);
    i4_lock hold(&lock);
    name = storedName ? storedName : "";
    pass = storedPass ? storedPass : "";
}

void AdminSettings::load() {
    load(theCoreOptions);
}

void AdminSettings::save(CoreOptions& settings) {
    settings.setIntPref(kPortKey, doorPort.load());
    i4_string n = getName(), p = getPass();
    settings.setStringPref(kNameKey, n.c_str() ? n.c_str() : "");
    settings.setStringPref(kPassKey, p.c_str() ? p.c_str() : "");
}

void AdminSettings::save() {
    save(theCoreOptions);
}

void AdminSettings::setCredentials(const char* newName, const char* newPass) {
    bool both = newName && *newName && newPass && *newPass;
    i4_lock hold(&lock);
    name = both ? newName : "";
    pass = both ? newPass : "";
}

bool AdminSettings::accepts(const std::string& givenName, const std::string& givenPass) {
    i4_lock hold(&lock);
    if (name.is_empty() || pass.is_empty()) return false;
    bool nameOk = sameText(givenName, name.c_str());
    bool passOk = sameText(givenPass, pass.c_str());
    return nameOk && passOk;
}

i4_string AdminSettings::getName() {
    i4_lock hold(&lock);
    return name;
}

i4_string AdminSettings::getPass() {
    i4_lock hold(&lock);
    return pass;
}

bool AdminSettings::setDoorPort(int port) {
    if (!validPort(port)) return false;
    doorPort = port;
    return true;
}

void loadAdminSettings() {
    theAdminSettings.load();
}

void saveAdminSettings() {
    theAdminSettings.save();
}
