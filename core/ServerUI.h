// Events of the server side; called on the core task thread. Records and lists
// handed to searchResult, searchResults and userList belong to the receiver:
// the default bodies delete them.
#pragma once

#include <cstdint>

class FileMeta;
class FileList;
class UserList;

class ServerUI {
public:
    virtual ~ServerUI() {}
    virtual void connected(const char* serverName);
    virtual void disconnected();
    virtual void serverListChanged();
    virtual void serverStatus(uint32_t files, uint32_t users);
    virtual void extendingTo(const char* serverName);
    virtual void searchResult(FileMeta* result);
    virtual void searchResults(FileList* results, bool more);
    virtual void userList(UserList* users);
};

extern ServerUI* theServerUI;
