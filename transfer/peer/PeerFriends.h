// Core task thread only.
#pragma once

class FileList;
class LL;
class UserMeta;

// What the peer protocol asks of and hands the friend list. The friend list answers it once
// it is built (the start puts it in the services); until then nobody is a friend and what
// peers send about their shares is discarded.
class PeerFriends {
public:
    virtual ~PeerFriends() {}
    virtual bool isFriend(UserMeta* user);
    virtual void setGivesFiles(UserMeta* user, bool gives);
    // Opcode 95: names is an LL of new i4_string, owned by the receiver from here on.
    virtual void gotDirectories(UserMeta* user, LL* names);
    // Opcode 96: the list and its records are owned by the receiver from here on.
    virtual void gotFiles(UserMeta* user, const char* directory, FileList* files);
};
