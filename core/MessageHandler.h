// handleMessage runs on the core task thread only.
#pragma once

#include "core/Message.h"

class MessageHandler {
public:
    virtual ~MessageHandler() {}
    // The payload belongs to the handler from here on; the Message does not.
    virtual void handleMessage(Message* message) = 0;
};
