#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "core/PageViewer.h"
#include "core/UIMetaOutput.h"
#include "core/XMLStringTable.h"
#include "meta/MetaList.h"
#include "support/CapturedUI.h"
#include "util/XMLParser.h"

namespace {

struct MetaThroughUI : ::testing::Test {
    MetaThroughUI() { setMetaOutput(&theUIMetaOutput); }
    ~MetaThroughUI() override {
        setMetaOutput(nullptr);
        theXMLStringTable.load(nullptr);
    }
};

TEST_F(MetaThroughUI, RecordTextsReachTheActiveGatewayAsData) {
    CapturedUI ui;
    metaPrintLine("%s", "50%d off %s");
    metaPrint("%d", 7);
    ui.gateway.setVerbose(true);
    metaDebug("dbg");
    EXPECT_EQ("50%d off %s\n7dbg", ui.text());
}

TEST_F(MetaThroughUI, ListingsAreGatheredByThePager) {
    PageViewer pager;
    CapturedUI ui(&pager);
    pager.begin();
    MetaList empty;
    printMetaList(&empty);
    EXPECT_EQ("", ui.text()) << "a gathered line is not printed at once";
    pager.setLines(24);
    pager.show();
    EXPECT_NE(std::string::npos, ui.text().find("None."));
}

TEST_F(MetaThroughUI, KeysAreLocalisedFromTheStringTable) {
    const char xml[] =
        "<skin><STRINGS><STRINGS_NONE label=\"Nichts.\"/><FREE_KEY "
        "label=\"Frei\"/></STRINGS></skin>";
    XMLParser parser;
    theXMLStringTable.load(parser.parse(xml, sizeof(xml) - 1));
    EXPECT_STREQ("Nichts.", theUIMetaOutput.localise("STRINGS_NONE", "None."));
    EXPECT_STREQ("Frei", theUIMetaOutput.localise("FREE_KEY", "x"));
    EXPECT_STREQ("fallback", theUIMetaOutput.localise("MISSING_KEY", "fallback"));
    EXPECT_STREQ("fallback", theUIMetaOutput.localise(nullptr, "fallback"));
}

}  // namespace
