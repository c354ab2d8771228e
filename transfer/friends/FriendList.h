// The core task thread; the console's commands may also run on the main thread (command-line
// arguments). `lock` guards the friends and the pending view; it is never held while the
// connection pool, a peer's sender or the TransferUI is called (a UI may ask the list again).
//
// friend.met: the friends' user records in list order, in the list-file form:
//   offset  width  field
//   0       1      0x0E
//   1       4      record count n
//   5       ...    n user records in their disk form (ip, port, user hash, tags)
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "transfer/friends/FriendCache.h"
#include "transfer/peer/PeerEventHandler.h"
#include "transfer/peer/PeerFriends.h"

class FileList;
class FileMeta;
class LL;
class Peer;
class UserMeta;

// The users the user marked as friends, each with a cache of what it shares. Friends are
// browsed through the peer protocol: the client connects, asks for the directory list (93)
// or one directory's files (94), and caches the answers (95, 96). Only one browse waits at
// a time, held as the friend's serial and a copy of the directory name, so a friend removed
// meanwhile leaves nothing behind. As a listener of the connection pool the list follows
// each friend's connection and sends a waiting browse once the friend connects.
class FriendList : public PeerEventHandler {
public:
    // friend.met and the user's additions stop here.
    static constexpr int MAX_FRIENDS = 10000;

    FriendList();
    ~FriendList() override;

    // A copy of the record becomes the last friend, unless a friend is already that user or
    // the list is full; false then. The TransferUI hears of an addition.
    bool addFriend(UserMeta* user);
    // A friend known by address only; false for address 0.
    bool addFriendByAddress(uint32_t ip, uint16_t port);
    // Friend numbers count from 1 in the order of the list; a number naming nobody does
    // nothing.
    void removeFriendAt(int number);
    // The first friend that is that user.
    void removeFriend(UserMeta* user);
    void clear();
    int count();

    // Runs f (FriendCache&) on friend number under the list's lock; false when there is no
    // such friend. f must not call the list.
    template <class F>
    bool withFriend(int number, F f) {
        i4_lock hold(&lock);
        FriendCache* c = at(number);
        if (!c) return false;
        f(*c);
        return true;
    }

    bool isFriend(UserMeta* user);
    // Whether a friend has this user hash; an all-zero hash names nobody.
    bool isFriendHash(const uint8_t hash[16]);
    void setGivesFiles(UserMeta* user, bool gives);

    // Makes a browse of friend number the waiting one (the directory list for null) and
    // sends it at once when the friend is connected, or connects to it.
    void requestView(int number, const char* directory);
    // The cached directories, or, without them or with refresh, a browse for them.
    void viewDirectories(int number, bool refresh);
    // The cached files of the directory of that name, or, without them or with refresh, a
    // browse for them.
    void viewFiles(int number, const char* name, bool refresh);
    // The name of cached directory dir (from 1) of friend number; false when none.
    bool directoryName(int number, int dir, i4_string* out);
    // A new record holding the tags and file hash of file (from 1) of that directory, for a
    // download; null when there is no such file.
    FileMeta* fileToDownload(int number, int dir, int file);

    // Opcode 95 and 96 from a friend replace what is cached; from anybody else they are
    // dropped. The lists are the list's to free.
    void gotDirectories(UserMeta* user, LL* names);
    void gotFiles(UserMeta* user, const char* directory, FileList* files);

    void newPeer(Peer* peer) override;
    void peerClosed(Peer* peer) override;
    // A server could not pass a callback on: nothing to do for friends.
    void callbackFailed(uint32_t serverIp, uint32_t id);

    // Appends the records of friend.met (its last good copy when it is damaged), each user
    // once. False when nothing whole could be read; a missing file is no failure.
    bool load(const char* path);
    // Replaces friend.met whole or not at all; false, said once, when it could not.
    bool save(const char* path);
    // The bytes save writes; false when a record cannot be put into bytes.
    bool fileBytes(std::string& out);

    // The answer to the peer protocol; the transfer side's start puts it in the services.
    class PeerAnswer : public PeerFriends {
    public:
        explicit PeerAnswer(FriendList& list) : list(list) {}
        bool isFriend(UserMeta* user) override { return list.isFriend(user); }
        void setGivesFiles(UserMeta* user, bool gives) override { list.setGivesFiles(user, gives); }
        void gotDirectories(UserMeta* user, LL* names) override {
            list.gotDirectories(user, names);
        }
        void gotFiles(UserMeta* user, const char* directory, FileList* files) override {
            list.gotFiles(user, directory, files);
        }

    private:
        FriendList& list;
    };
    PeerAnswer peerAnswer;

private:
    FriendList(const FriendList&) = delete;
    FriendList& operator=(const FriendList&) = delete;

    // The waiting browse: the friend's serial (0: none) and the directory (null text: the
    // directory list).
    struct PendingView {
        unsigned serial = 0;
        i4_string directory;
    };

    // Under the lock.
    FriendCache* at(int number);
    FriendCache* findNoLock(UserMeta* user);
    bool appendNoLock(UserMeta* user);
    // Sets the status of the friend with that serial, if it is still listed.
    void setStatus(unsigned serial, FriendCache::Status status);
    // "Asking <name> for file list." and the request on the open connection.
    static void ask(Peer* peer, const char* directory);

    i4_mutex lock;
    std::vector<std::unique_ptr<FriendCache>> friends;
    PendingView pending;
    unsigned nextSerial;
};

extern FriendList theFriendList;
