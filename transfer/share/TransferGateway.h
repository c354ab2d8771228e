// start, stop and holdDoor: the main thread, start and holdDoor before message 0 and stop
// after the core task thread has ended. Everything else: the core task thread. The known and shared
// lists have their own locks; the hashing thread adds to the known list and changes its records
// under that lock, while only the core task thread changes the shared list and the door.
#pragma once

#include <atomic>
#include <memory>
#include <stdint.h>
#include <string>
#include <unordered_set>
#include <vector>

#include "i4min/string/i4_string.h"
#include "meta/FileList.h"
#include "transfer/peer/PeerShares.h"
#include "transfer/share/ShareList.h"
#include "transfer/share/TransferServices.h"

class FileMeta;
class ProtocolInterface;
class TCPDoor;
class TransferUI;
class i4_proxy_settings;

// The face of the transfer side: the known files (known.met), the files shared now, the
// shared directories, the peer door; its start, stop, load and save.
class TransferGateway {
public:
    // Makes the door for a port: a PeerDoor unless a test sets another maker.
    typedef TCPDoor* (*DoorMaker)(int port);

    TransferGateway();
    // Deletes every record of both lists.
    virtual ~TransferGateway();

    void setUI(TransferUI* ui);
    // Handlers, workers, the listeners of the connection pool, the download pool's task.
    void start();
    // The client quits (main thread, before the threads are waited for): a check of a
    // download's data ends between two parts, completions under way run to their end, web
    // sources' connects end where they are.
    void stopWorkers();
    // The workers, then every download saved and let go, then save and the door.
    void stop();
    // Message 0: options, share.dat, known.met with its old-format check; then the
    // partial downloads, the hashing pass and the door.
    void load();
    // known.met, share.dat and the options into the settings record; nothing before load
    // ran, so a quit that comes first never replaces the stored state with empty lists.
    void save();
    bool isLoaded() const { return loaded; }

    // Replaces the shared directories, writes share.dat and asks for a rescan.
    void setSharedDirectories(const std::vector<i4_string>& paths);
    void requestRescan();
    // Message 16: a new hashing pass over the shared directories. The shared records stay
    // until the pass replaces them, except those whose file changed, went away or is in
    // a directory no longer shared.
    void rescanShared();
    void getSharedDirectories(std::vector<i4_string>& out);
    FileList* findSharedDirectory(const char* name);

    // Message 18: the gateway takes the record. A record of a file already shared
    // replaces that one's content; one whose directory is no longer shared is dropped.
    void fileHashed(FileMeta* record);
    // Withdraws the shared record of the file's hash, unless that record is another,
    // complete copy: a partial file's end never unshares the finished file.
    void unshareFile(FileMeta* file);
    // Whether the file shared under this hash may be served: a partial file, or a file whose
    // size and modification time are still those of its record. A file that changed on disk
    // is withdrawn at once (its old hash no longer holds) and hashed again; one that went is
    // withdrawn.
    bool servesUnchanged(const uint8_t hash[16]);
    // On the known, shared and running download's records, and the upload queue.
    void setUploadPriority(const uint8_t hash[16], int priority);
    // The completing thread: the finished download's record (its path in the incoming
    // directory) joins the known list, which is saved to known.met at once.
    void fileCompleted(FileMeta& finished);
    // Grows "# Sent", the whole copies uploaded, by bytes / size.
    void addSent(const uint8_t hash[16], uint64_t bytes);

    // Opens the peer door on the configured port unless a proxy that just came into force
    // forbids listening or a door exists; a door that cannot listen is reported once.
    void startDoor(const i4_proxy_settings* proxy, int timeoutMs);
    // A new port closes the door and opens one on it; the same port changes nothing.
    void setDoorPort(int port);
    // The door waits, through the load and any port change, until openHeldDoor: the
    // command-line arguments may name the port it is to open on.
    void holdDoor() { doorHeld = true; }
    void openHeldDoor();
    // False, nothing changed, for the current directory, (string 29 printed) while the
    // download pool holds any download, and (said) for a directory that cannot be made.
    bool setTemp(const char* path);
    // False, nothing changed, and said, for a directory that cannot be made.
    bool setIncoming(const char* path);

    // known.met (its last good copy when it is damaged) into the known list, then the
    // old-format check: a list whose first file of more than one crumb lacks its crumb
    // hashes is dropped whole, so every file is hashed again.
    void loadKnownList();

    // What start puts in the services (tests put it there without a start).
    PeerShares* peerShares() { return &shares; }

    // Null restores the PeerDoor.
    static void setDoorMaker(DoorMaker maker);
    // The current door (open or not), or null.
    TCPDoor* getDoor() const { return door; }
    bool isDoorOpen() const { return door && doorOpen; }

    FileList knownList;
    FileList sharedList;
    ShareList shareList;
    // Handlers of source texts that name no peer; start adds the HTTP one.
    std::vector<std::unique_ptr<ProtocolInterface>> protocols;

private:
    // What the peer protocol sees of the shared files, answered from the gateway's lists.
    class SharesAnswer : public PeerShares {
    public:
        explicit SharesAnswer(TransferGateway& g) : gateway(g) {}
        bool isShared(const uint8_t hash[16]) override;
        bool copyShared(const uint8_t hash[16], FileMeta* out) override;
        void getSharedDirectories(LL* names) override;
        FileList* findSharedDirectory(const char* name) override;

    private:
        TransferGateway& gateway;
    };

    TransferGateway(const TransferGateway&) = delete;
    TransferGateway& operator=(const TransferGateway&) = delete;

    void checkKnownFormat();
    // The paths of the complete files whose records stay.
    std::unordered_set<std::string> dropChangedFiles();
    // Takes a record out of the shared list and its directory, and deletes it.
    void withdraw(FileMeta* listed);
    void closeDoor();

    SharesAnswer shares;
    // Filled by start with what it built, then handed to the pools that use it.
    TransferServices services;
    // Read by the completing threads.
    std::atomic<bool> loaded;
    TCPDoor* door;
    bool doorOpen;
    std::atomic<bool> doorHeld;
};

extern TransferGateway theTransferGateway;
