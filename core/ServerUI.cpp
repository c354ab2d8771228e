#include "core/ServerUI.h"

#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/UserList.h"

namespace {
ServerUI builtInServerUI;
}

ServerUI* theServerUI = &builtInServerUI;

void ServerUI::connected(const char*) {}
void ServerUI::disconnected() {}
void ServerUI::serverListChanged() {}
void ServerUI::serverStatus(uint32_t, uint32_t) {}
void ServerUI::extendingTo(const char*) {}

void ServerUI::searchResult(FileMeta* result) {
    delete result;
}

// The receiver owns the list and its records; nobody else frees them.
void ServerUI::searchResults(FileList* results, bool) {
    if (!results) return;
    results->deleteAll();
    delete results;
}

void ServerUI::userList(UserList* users) {
    if (!users) return;
    users->deleteAll();
    delete users;
}
