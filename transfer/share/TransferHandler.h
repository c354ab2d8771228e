// handleMessage: the core task thread. registerHandlers: start-up (the main thread).
#pragma once

#include <stdint.h>

#include "core/MessageHandler.h"
#include "i4min/string/i4_string.h"
#include "meta/UserMeta.h"

class MessageQ;
class Peer;

// Message 24: a connection whose upload slot a download gave up, with the reference its
// poster added; the handler offers the slot to the other downloads, which give the
// reference back. The connection may close meanwhile and a new one may take its place (and
// its address): it is named by its serial, so that only the same connection is found.
class OpenedSlot {
public:
    explicit OpenedSlot(Peer* c);
    // The connection if it is still listed, else null (its reference went with it).
    Peer* take();

private:
    uint32_t serial;
};

// Message 32: a user to ask for the file of a hash.
struct UserSource {
    UserMeta user;
    uint8_t hash[16];
};

// Message 33: a source text ("bcp" or a web address) for the file of a hash.
struct TextSource {
    i4_string text;
    uint8_t hash[16];
};

// Every message of the transfer side: each becomes a call on the gateway, the download
// pool, a download, the chat pool or the connection pool; the handler owns and frees the
// payloads.
class TransferHandler : public MessageHandler {
public:
    void registerHandlers(MessageQ& queue);
    void handleMessage(Message* message) override;

    // Moves the downloads kept in one file (N.part beside N.part.met) from a directory into
    // the temporary one under new numbers; a record moves only once its data has.
    static void moveTempFiles(const char* from, const char* to);
};

extern TransferHandler theTransferHandler;
