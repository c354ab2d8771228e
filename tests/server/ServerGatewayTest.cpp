#include <gtest/gtest.h>
#include <vector>

#include "core/MessageQ.h"
#include "meta/Search.h"
#include "server/ServerGateway.h"
#include "util/CountedRef.h"

namespace {

// Dies counted, so the test sees every reference given back.
struct CountedSearch : Search {
    explicit CountedSearch(int* deaths_) : deaths(deaths_) {}
    ~CountedSearch() override { ++*deaths; }
    int* deaths;
};

// Keeps which search each message carried, as the server handler gets it.
struct SearchSeen : MessageHandler {
    void handleMessage(Message* m) override {
        ids.push_back(m->id);
        searches.push_back(m->get<Search>());
    }
    std::vector<int> ids;
    std::vector<Search*> searches;
};

// A new search and its extension both reach the handler with the search itself, each message
// holding a reference of its own, and every reference is given back in the end.
TEST(ServerGateway, SearchesAndExtensionsReachTheHandlerWithTheirSearch) {
    SearchSeen seen;
    for (int id : {MSG_SEARCH, MSG_SEARCH_TYPED, MSG_EXTEND_SEARCH, MSG_EXTEND_SEARCH_TYPED})
        theMessageQ.setHandler(&seen, id);
    int deaths = 0;
    {
        ServerGateway gateway;
        CountedSearch* search = new CountedSearch(&deaths);
        search->setKind(1);
        gateway.newSearch(search);
        EXPECT_TRUE(gateway.extendSearch());
        while (theMessageQ.pending() > 0) theMessageQ.run(0);
        EXPECT_EQ((std::vector<int>{MSG_SEARCH_TYPED, MSG_EXTEND_SEARCH_TYPED}), seen.ids);
        EXPECT_EQ((std::vector<Search*>{search, search}), seen.searches);
        // Only the gateway holds it now.
        EXPECT_EQ(1, search->refCount());
        EXPECT_EQ(0, deaths);
    }
    EXPECT_EQ(1, deaths);
    for (int id : {MSG_SEARCH, MSG_SEARCH_TYPED, MSG_EXTEND_SEARCH, MSG_EXTEND_SEARCH_TYPED})
        theMessageQ.setHandler(nullptr, id);
}

}  // namespace
