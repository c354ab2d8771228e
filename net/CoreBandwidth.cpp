#include "net/CoreBandwidth.h"

#include "core/CoreOptions.h"

double CoreBandwidth::uploadLimit() const {
    return theCoreOptions.getMaxUpload();
}
double CoreBandwidth::downloadLimit() const {
    return theCoreOptions.getMaxDownload();
}
double CoreBandwidth::uploadRate() const {
    return theCoreOptions.upRate;
}
double CoreBandwidth::downloadRate() const {
    return theCoreOptions.downRate;
}
double CoreBandwidth::maxUpSpeed() const {
    return theCoreOptions.maxUpSpeed;
}
double CoreBandwidth::maxDownSpeed() const {
    return theCoreOptions.maxDownSpeed;
}
void CoreBandwidth::setMaxUpSpeed(double v) {
    theCoreOptions.maxUpSpeed = v;
}
void CoreBandwidth::setMaxDownSpeed(double v) {
    theCoreOptions.maxDownSpeed = v;
}
