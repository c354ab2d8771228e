// handleMessage: the core task thread. registerHandlers: start-up (the main thread).
#pragma once

#include "core/MessageHandler.h"

class MessageQ;

// Messages 0 and 1: load, and save, the state of every side of the client.
class ClcHandler : public MessageHandler {
public:
    // Ids 0 and 1, in that order.
    void registerHandlers(MessageQ& queue);
    void handleMessage(Message* message) override;
};

extern ClcHandler theClcHandler;
