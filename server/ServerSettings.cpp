#include "server/ServerSettings.h"

#include "core/CoreOptions.h"

ServerSettings theServerSettings;

namespace {

void loadFlag(const char* key, std::atomic<int>& flag, int byDefault) {
    int value;
    flag = theCoreOptions.getIntPref(key, &value) ? value : byDefault;
}

}  // namespace

ServerSettings::ServerSettings() : autoConnect(0), recon(1), servRemove(1) {}

void ServerSettings::load() {
    path.format("%s%c%s", theCoreOptions.getBaseDir().c_str(), '/', "server.met");
    loadFlag("auto", autoConnect, 0);
    loadFlag("recon", recon, 1);
    loadFlag("servRemove", servRemove, 1);
}

void ServerSettings::save() {
    theCoreOptions.setIntPref("auto", autoConnect);
    theCoreOptions.setIntPref("recon", recon);
    theCoreOptions.setIntPref("servRemove", servRemove);
}
