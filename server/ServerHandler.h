// handleMessage: the core task thread. registerHandlers: start-up.
#pragma once

#include "core/MessageHandler.h"

class MessageQ;

// The server side's messages: 2 connect, 3 disconnect, 4 try the next server, 5 and 6
// search, 7 more results, 8 and 9 spread the search, 17 publish, 26 merge a server list.
class ServerHandler : public MessageHandler {
public:
    void registerHandlers(MessageQ& queue);
    void handleMessage(Message* message) override;
};

extern ServerHandler theServerHandler;
