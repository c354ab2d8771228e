#include "core/MessageQ.h"

#include "core/UIGateway.h"

MessageQ theMessageQ;

MessageQ::MessageQ() : waker(nullptr) {
    for (int i = 0; i < MSG_ID_LIMIT; ++i) handlers[i] = 0;
}

MessageQ::~MessageQ() {
    while (void* item = list.removeAt(0)) delete static_cast<Message*>(item);
}

static bool validId(int id) {
    return id >= 0 && id < MSG_ID_LIMIT;
}

bool MessageQ::queue(Message* message, bool front) {
    if (!validId(message->id)) {
        delete message;
        return false;
    }
    if (front)
        list.prepend(message);
    else
        list.append(message);
    if (Thread* t = waker.load()) t->wake();
    return true;
}

bool MessageQ::setHandler(MessageHandler* handler, int id) {
    if (!validId(id)) return false;
    handlers[id] = handler;
    return true;
}

bool MessageQ::run(int) {
    Message* message = static_cast<Message*>(list.first());
    if (!message) return false;
    bool handled = false;
    if (MessageHandler* handler = handlers[message->id]) {
        // Without the list's lock: the handler may post further messages.
        handler->handleMessage(message);
        handled = true;
    } else if (theUI) {
        theUI->debug("Message Handler not found: %d\n", message->id);
    }
    list.remove(message);
    delete message;
    return handled;
}
