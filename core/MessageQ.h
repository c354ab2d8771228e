// post: any thread (the list's own lock guards it). setHandler: start-up,
// before the core task thread delivers. run: the core task thread only.
#pragma once

#include <atomic>

#include "core/Message.h"
#include "core/MessageHandler.h"
#include "core/TimeSliceTask.h"
#include "util/LLsafe.h"

// Hands the queued messages, one per pass and in order, to the handler
// registered for their id.
class MessageQ : public TimeSliceTask {
public:
    MessageQ();
    // Deletes the messages still queued, not their payloads.
    ~MessageQ() override;

    // Queues {id, data} at the back, or first when front is set. An id
    // outside 0..255 is refused with false; the payload then stays the
    // caller's.
    bool post(int id, void* data, bool front = false);
    // A later registration for the same id replaces the earlier one; an id
    // outside 0..255 is refused with false.
    bool setHandler(MessageHandler* handler, int id);
    // Delivers the first message; true only when a handler ran.
    bool run(int elapsedMs) override;

    int pending() { return list.count(); }

private:
    LLsafe list;
    std::atomic<MessageHandler*> handlers[MSG_ID_LIMIT];
};

extern MessageQ theMessageQ;
