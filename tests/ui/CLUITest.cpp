#include <gtest/gtest.h>
#include <vector>

#include "core/PageViewer.h"
#include "i4min/i4_test_util.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "support/CapturedUI.h"
#include "ui/CLUI.h"

namespace {

int filesFreed = 0;

struct CountedFile : FileMeta {
    ~CountedFile() override { filesFreed++; }
};

std::vector<Meta*> recordsOf(FileList& list) {
    std::vector<Meta*> out;
    for (int i = 0; Meta* m = list.getAt(i); ++i) out.push_back(m);
    return out;
}

FileList* batchOf(int n, std::vector<Meta*>& made) {
    FileList* batch = new FileList;
    for (int i = 0; i < n; ++i) {
        made.push_back(new CountedFile);
        batch->add(made.back());
    }
    return batch;
}

TEST(CLUI, ABatchReplacesTheResultsAndSingleResultsJoinThem) {
    FileList results;
    CLUI ui(results);
    filesFreed = 0;
    stdout_capture out;

    std::vector<Meta*> first;
    ui.searchResults(batchOf(3, first), false);
    first.push_back(new CountedFile);
    ui.searchResult(static_cast<FileMeta*>(first.back()));
    EXPECT_EQ(first, recordsOf(results));
    EXPECT_EQ(0, filesFreed);

    std::vector<Meta*> second;
    ui.searchResults(batchOf(2, second), true);
    EXPECT_EQ(second, recordsOf(results));
    EXPECT_EQ(4, filesFreed);

    ui.searchResults(new FileList, false);
    EXPECT_TRUE(recordsOf(results).empty());
    EXPECT_EQ(6, filesFreed);
    EXPECT_EQ("Results returned\nResults returned\nResults returned\n", out.text());
}

// Connects and disconnects show at once, even while a listing is gathered.
TEST(CLUI, ServerEventsBypassThePager) {
    FileList results;
    CLUI ui(results);
    CaptureFile lines;
    ui.setOutput(&lines);
    UIGateway* savedUI = theUI;
    PageViewer* savedPager = thePageViewer;
    theUI = &ui;
    PageViewer pager;
    pager.setKeyReader([] { return ' '; });
    thePageViewer = &pager;

    stdout_capture out;
    pager.begin();
    ui.connected("Big Server");
    ui.extendingTo("Next Server");
    ui.disconnected();
    std::string direct = out.text();
    std::string beforeShow = lines.text();
    pager.show();

    theUI = savedUI;
    thePageViewer = savedPager;
    EXPECT_EQ("Connected to: Big Server\nDisconnected\n", direct);
    EXPECT_EQ("", beforeShow);
    EXPECT_EQ("Extending to: Next Server\n", lines.text());
}

}  // namespace
