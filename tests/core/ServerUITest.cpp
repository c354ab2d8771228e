#include <gtest/gtest.h>

#include "core/ServerUI.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/UserList.h"
#include "meta/UserMeta.h"

namespace {

int filesFreed = 0, usersFreed = 0, listsFreed = 0;

struct CountedFile : FileMeta {
    ~CountedFile() override { filesFreed++; }
};
struct CountedUser : UserMeta {
    ~CountedUser() override { usersFreed++; }
};
struct CountedFileList : FileList {
    ~CountedFileList() override { listsFreed++; }
};
struct CountedUserList : UserList {
    ~CountedUserList() override { listsFreed++; }
};

}  // namespace

// What the server side hands over belongs to the UI: the defaults free it all.
TEST(ServerUI, DefaultsFreeWhatTheyAreHanded) {
    struct Case {
        const char* name;
        int records;
    };
    const Case cases[] = {{"empty", 0}, {"one", 1}, {"several", 5}};
    ServerUI ui;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        filesFreed = usersFreed = listsFreed = 0;

        ui.searchResult(new CountedFile);
        EXPECT_EQ(1, filesFreed);

        CountedFileList* results = new CountedFileList;
        for (int i = 0; i < c.records; i++) results->add(new CountedFile);
        ui.searchResults(results, true);
        EXPECT_EQ(1 + c.records, filesFreed);
        EXPECT_EQ(1, listsFreed);

        CountedUserList* users = new CountedUserList;
        for (int i = 0; i < c.records; i++) users->add(new CountedUser);
        ui.userList(users);
        EXPECT_EQ(c.records, usersFreed);
        EXPECT_EQ(2, listsFreed);
    }
    // Nothing handed, nothing to free.
    ui.searchResult(nullptr);
    ui.searchResults(nullptr, false);
    ui.userList(nullptr);
}
