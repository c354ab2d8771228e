#include "core/NetworkGateway.h"

#include "core/CoreOptions.h"

NetworkGateway* theNetworkGateway = nullptr;

bool NetworkGateway::requestCallback(UserMeta*) {
    return false;
}

void NetworkGateway::fileShared(FileMeta*) {}

int NetworkGateway::addServer(uint32_t, uint16_t) {
    return 0;
}

void NetworkGateway::doorPortChanged() {}

int NetworkGateway::queryFlag() {
    return 1;
}

int NetworkGateway::peerNotice(int value) {
    return value;
}

void NetworkGateway::addressDiffers() {}

void NetworkGateway::setServer(uint32_t ip, uint16_t port) {
    theCoreOptions.setServerIp(ip);
    theCoreOptions.setServerPort(port);
}

uint32_t NetworkGateway::getClientId() {
    return theCoreOptions.getClientId();
}

uint16_t NetworkGateway::getDoorPort() {
    return theCoreOptions.getDoorPort();
}

uint32_t NetworkGateway::getServerIp() {
    return theCoreOptions.getServerIp();
}

uint16_t NetworkGateway::getServerPort() {
    return theCoreOptions.getServerPort();
}
