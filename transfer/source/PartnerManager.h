// The core task thread only; no lock of its own.
//
// The one registry of partnerships: at most four partner sources at a time, with room kept
// for the download that is highest now. It decides on a peer's partner request (opcode 101),
// whether a trial partnership lasts, and which partner goes when there are too many.
#pragma once

#include <cstdint>

#include "transfer/peer/PeerPartners.h"
#include "transfer/share/TransferServices.h"
#include "transfer/source/PartnerSlots.h"

class Download;
class FileSource;
class Peer;

class PartnerManager {
public:
    enum { SLOTS = 4, EVICTED_COOL_DOWN_MS = 600000 };
    PartnerManager();

    void clear();
    void setHighest(Download* download);
    Download* getHighest() const { return highest; }
    bool hasRoom();
    bool wantsPartner(FileSource* source);
    void addPartner(FileSource* source);
    void removePartner(FileSource* source);
    void dropLowest();
    double getRank(FileSource* source);
    bool isPartner(Peer* connection);
    void removeByConnection(Peer* connection);
    bool acceptPartner(Peer* connection, const uint8_t hash[16]);
    // The console's listing ("vpart").
    void dump();

    FileSource* slot(int i) const { return partners[i]; }
    int getCount() const { return count; }
    // Where a partner let go is told to the uploads: the stand-ins until the transfer side's
    // start hands over its record.
    void useServices(TransferServices* record) { serviceRecord = record; }

    // The answers to the downloads and to the peer protocol; the transfer side's start puts
    // them in the services.
    class DownloadAnswer : public PartnerSlots {
    public:
        explicit DownloadAnswer(PartnerManager& manager) : manager(manager) {}
        bool hasRoom() override { return manager.hasRoom(); }
        void setHighest(Download* download) override { manager.setHighest(download); }

    private:
        PartnerManager& manager;
    };
    DownloadAnswer downloadAnswer;

    class PeerAnswer : public PeerPartners {
    public:
        explicit PeerAnswer(PartnerManager& manager) : manager(manager) {}
        bool acceptPartner(Peer* from, const uint8_t hash[16]) override {
            return manager.acceptPartner(from, hash);
        }

    private:
        PartnerManager& manager;
    };
    PeerAnswer peerAnswer;

private:
    bool ofHighest(FileSource* source) const;
    // Frees slot i, clearing keep on its connection; the source is not told.
    void vacate(int i);

    Download* highest;
    FileSource* partners[SLOTS];
    int count;
    TransferServices* serviceRecord;
};

extern PartnerManager thePartnerManager;
