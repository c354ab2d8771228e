// handleMessage: the core task thread. registerHandlers: start-up.
#pragma once

#include "core/MessageHandler.h"

class MessageQ;

// The core's messages: 25 reloads the filter list.
class CoreHandler : public MessageHandler {
public:
    void registerHandlers(MessageQ& queue);
    void handleMessage(Message* message) override;
};

extern CoreHandler theCoreHandler;
