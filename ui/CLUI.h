// The console face of the four UI interfaces. Any thread may print through it;
// the server and transfer events arrive on the core task thread, which is also
// the only thread that touches the search results.
#pragma once

#include "core/CoreUI.h"
#include "core/ServerUI.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"

class FileList;

// Prints on standard output; the printing bodies are UIGateway's own.
class CLUI : public UIGateway, public ServerUI, public CoreUI, public TransferUI {
public:
    // Results arriving from the servers go into searchResults, which the
    // console application keeps for its listing and download commands.
    explicit CLUI(FileList& searchResults);
    ~CLUI() override;

    // Server events go straight to the terminal, never into the pager.
    void connected(const char* serverName) override;
    void disconnected() override;
    void extendingTo(const char* serverName) override;
    // The record joins the results.
    void searchResult(FileMeta* result) override;
    // The batch replaces the results; its records are freed with the old ones.
    void searchResults(FileList* results, bool more) override;

    void downloadChanged(Download* download) override;
    void downloadRemoved(Download* download) override;
    // The pool's list of downloads (its own lock guards it).
    LLsafe* getDownloadList() override;
    // "Message from <name>: <text>", the peer's bytes shown, never interpreted.
    void chatMessage(MessageSession* session, const char* text) override;

private:
    FileList& results;
};
