#include "ui/CLUI.h"

#include "core/XMLStringTable.h"
#include "i4min/string/i4_string.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/UserMeta.h"
#include "transfer/download/DLPool.h"
#include "transfer/friends/MessageSession.h"

namespace {
const int kExtendingTo = 22;
}  // namespace

CLUI::CLUI(FileList& searchResults) : results(searchResults) {}

CLUI::~CLUI() {}

void CLUI::connected(const char* serverName) {
    i4_printf("Connected to: %s\n", serverName);
}

void CLUI::disconnected() {
    i4_printf("Disconnected\n");
}

void CLUI::extendingTo(const char* serverName) {
    printLine("%s %s", theXMLStringTable.get(kExtendingTo), serverName);
}

void CLUI::searchResult(FileMeta* result) {
    if (result) results.add(result);
}

void CLUI::searchResults(FileList* batch, bool) {
    i4_printf("Results returned\n");
    if (batch == &results) return;
    results.deleteAll();
    if (!batch) return;
    results.appendAll(batch);
    delete batch;  // the list object only: its records now belong to the results
}

// The console shows downloads only when asked to list them.
void CLUI::downloadChanged(Download*) {}

void CLUI::downloadRemoved(Download*) {}

LLsafe* CLUI::getDownloadList() {
    return &theDLPool.getDownloads();
}

void CLUI::chatMessage(MessageSession* session, const char* text) {
    // One line: the terminal masks the rest, and here line ends and tabs too.
    const char* name = session ? session->getUser()->getName() : nullptr;
    std::string from = i4_masked_line(name ? name : "????");
    std::string said = i4_masked_line(text);
    printLine("Message from %s: %s", from.c_str(), said.c_str());
}
