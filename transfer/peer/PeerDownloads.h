// Core task thread only.
#pragma once

#include <cstdint>

class BoolArray;
class Peer;
class UserMeta;
class i4_file;

// What the peer protocol asks of the downloads: each call finds the download by its file
// hash and does nothing when there is none. The download pool answers it once it is built
// (the transfer side's start puts it in the services); until then these bodies answer as a client
// that downloads nothing.
class PeerDownloads {
public:
    virtual ~PeerDownloads() {}

    // Size and crumb count of the partial file of that download; false when there is no such
    // download or it has no partial file (then nothing about it may be touched).
    virtual bool partialFile(const uint8_t hash[16], uint32_t* size, uint32_t* crumbs);
    // The done crumbs (crumbs set) or done parts of that download's partial file; false
    // without one.
    virtual bool doneBits(const uint8_t hash[16], bool crumbs, BoolArray* out);

    // Bytes [start, end) of the file; data points at end - start bytes.
    virtual void gotData(const uint8_t hash[16], uint32_t start, uint32_t end, const uint8_t* data,
                         Peer* from);
    virtual void noFile(const uint8_t hash[16], Peer* from);
    // The peer's crumbs, one bit per crumb of the partial file.
    virtual void gotFileStatus(const uint8_t hash[16], Peer* from, BoolArray* crumbs);
    // The payload stands at the u16 count of part hashes, checked against what follows.
    virtual void gotPartHashes(const uint8_t hash[16], i4_file& payload);
    // The payload stands at the hash sets; called only for a download with a partial file.
    virtual void gotCrumbHashes(const uint8_t hash[16], i4_file& payload, Peer* from);
    virtual void gotFileName(const uint8_t hash[16], const char* name, Peer* from);
    virtual void partnerAccepted(const uint8_t hash[16], Peer* from);
    virtual void partnerDenied(const uint8_t hash[16], Peer* from);
    virtual void gotCrumbAvailable(const uint8_t hash[16], Peer* from, uint32_t crumb);
    virtual void addSourceFor(const uint8_t hash[16], UserMeta* user, Peer* from);

    // The peer granted an upload slot and holds a reference for it: a download that takes
    // the slot keeps it, otherwise the peer gets opcode 86, the reference goes back and the
    // peer leaves the list of asked sources.
    virtual void openSlot(Peer* from);
    // The peer has no slot for us (opcode 87).
    virtual void queued(Peer* from);
    // Our place in the peer's queue: kept in the list of asked sources, then told to the
    // downloads.
    virtual void placeInQueue(Peer* from, uint32_t rank);
};
