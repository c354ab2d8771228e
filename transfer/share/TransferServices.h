// Filled on the main thread while the transfer side starts, before the core task thread runs;
// read on the core task thread, and uploadNotices also on the hashing and completing threads.
#pragma once

class DownloadWorkers;
class PartnerSlots;
class PeerChat;
class PeerDownloads;
class PeerFriends;
class PeerPartners;
class PeerShares;
class PeerUploads;
class SourceMaker;
class UploadNotices;

// What the parts of the transfer side answer one another. The transfer side's start fills one
// record with the pools it built and hands it to the client pool, the download pool and the
// partner manager. Until then every service is its stand-in, which answers as a client with
// nothing built: no download or upload, nothing shared, nobody a friend, no chat, no
// partner, no source made, no worker.
struct TransferServices {
    PeerDownloads* downloads;
    PeerUploads* uploads;
    PeerShares* shares;
    PeerFriends* friends;
    PeerChat* chat;
    PeerPartners* partners;
    SourceMaker* sourceMaker;
    PartnerSlots* partnerSlots;
    UploadNotices* uploadNotices;
    DownloadWorkers* workers;

    // Every service at its stand-in.
    TransferServices();
    // The record the holders use before the start hands them the filled one.
    static TransferServices& beforeStart();
};
