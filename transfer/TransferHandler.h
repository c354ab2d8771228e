// handleMessage: the core task thread. registerHandlers: start-up (the main thread).
#pragma once

#include "core/MessageHandler.h"

class MessageQ;

// The transfer side's messages: each becomes a call on the gateway, the download pool, the
// upload pool or the connection pool; the handler owns and frees the payloads.
class TransferHandler : public MessageHandler {
public:
    void registerHandlers(MessageQ& queue);
    void handleMessage(Message* message) override;

    // Moves the downloads kept in one file (N.part beside N.part.met) from a directory into
    // the temporary one under new numbers; a record moves only once its data has.
    static void moveTempFiles(const char* from, const char* to);
};

extern TransferHandler theTransferHandler;
