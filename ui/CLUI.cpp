#include "ui/CLUI.h"

#include "core/XMLStringTable.h"
#include "i4min/string/i4_string.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/UserMeta.h"
#include "transfer/DLPool.h"
#include "transfer/MessageSession.h"

namespace {
const int kExtendingTo = 22;

// A peer's text on the terminal: control bytes would drive the terminal, so they show as '?'.
i4_string printable(const char* text) {
    i4_string out(text ? text : "");
    for (int i = 0; i < out.length(); i++) {
        unsigned char c = (unsigned char)*out.char_at(i);
        if (c < 0x20 || c == 0x7F) *out.char_at(i) = '?';
    }
    return out;
}
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
    const char* name = session ? session->getUser()->getName() : nullptr;
    i4_string from = printable(name ? name : "????");
    i4_string said = printable(text);
    printLine("Message from %s: %s", from.c_str(), said.c_str());
}
