// How the transfer side reaches the server side without depending on it. Every
// call comes from the core task thread; the settings accessors at the end take
// the settings' lock.
#pragma once

#include <stdint.h>

class DownloadSources;
class FileMeta;
class UserMeta;

class NetworkGateway {
public:
    virtual void start() = 0;
    virtual void stop() = 0;
    // True when a callback request went out to the low-id user's server; false
    // makes the connect to that user fail.
    virtual bool requestCallback(UserMeta* user);
    // A newly hashed file joined the shared files.
    virtual void fileShared(FileMeta* file);
    virtual int addServer(uint32_t ip, uint16_t port);
    // A new object each time, owned and deleted by the download that asked.
    virtual DownloadSources* newDownloadSources() = 0;
    virtual void doorPortChanged();
    virtual int queryFlag();
    // 2 not connected, 1 low id, 0 otherwise.
    virtual int firewallState() = 0;
    virtual int peerNotice(int value);
    // A peer sees another address than the client believes it has.
    virtual void addressDiffers();
    // The current server, kept in the settings.
    virtual void setServer(uint32_t ip, uint16_t port);
    virtual uint32_t getClientId();
    virtual uint16_t getDoorPort();
    virtual uint32_t getServerIp();
    virtual uint16_t getServerPort();

protected:
    // Never deleted through this interface.
    ~NetworkGateway() {}
};

// The one gateway; null until start-up points it at the server side.
extern NetworkGateway* theNetworkGateway;
