// post: any thread (the list's own lock guards it). setHandler: start-up,
// before the core task thread delivers. run: the core task thread only.
#pragma once

#include <atomic>
#include <memory>

#include "core/Message.h"
#include "core/MessageHandler.h"
#include "core/Thread.h"
#include "core/TimeSliceTask.h"
#include "util/LLsafe.h"

// Hands the queued messages, one per pass and in order, to the handler
// registered for their id.
class MessageQ : public TimeSliceTask {
public:
    MessageQ();
    // Deletes the messages still queued, with their payloads.
    ~MessageQ() override;

    // Queues a message at the back, or first when front is set. An id outside 0..255 is
    // refused with false, and a typed payload is then deleted at once.
    //   post(MSG_RESCAN_SHARED)                                  no payload
    //   post(MSG_COMMAND, std::make_unique<i4_string>(line))     owned; handler: take<i4_string>()
    //   post(MSG_END_DOWNLOAD, CountedRef<Download>(download))   counted; handler: get<Download>()
    bool post(int id) { return queue(new Message(id), false); }
    template <class T>
    bool post(int id, std::unique_ptr<T> payload, bool front = false) {
        return queue(new Message(id, std::make_unique<OwnedPayload<T>>(std::move(payload))), front);
    }
    template <class T>
    bool post(int id, CountedRef<T> ref, bool front = false) {
        return queue(new Message(id, std::make_unique<CountedPayload<T>>(std::move(ref))), front);
    }
    // A later registration for the same id replaces the earlier one; an id
    // outside 0..255 is refused with false.
    bool setHandler(MessageHandler* handler, int id);
    // Delivers the first message; true only when a handler ran.
    bool run(int elapsedMs) override;
    // 0 while messages wait, so a burst is worked off pass after pass without a wait.
    // Asked at every pass of the loop: a count would walk a long queue each time.
    int nextDueMs() override { return list.first() ? 0 : -1; }
    // The thread that delivers: a post wakes it. Null for none.
    void wakeOnPost(Thread* thread) { waker = thread; }

    int pending() { return list.count(); }

private:
    // Takes the message; deletes it (and its payload) when the id is refused.
    bool queue(Message* message, bool front);

    LLsafe list;
    std::atomic<MessageHandler*> handlers[MSG_ID_LIMIT];
    std::atomic<Thread*> waker;
};

extern MessageQ theMessageQ;
