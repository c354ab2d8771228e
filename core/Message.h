// Made by the posting thread, then used by the core task thread alone (the handler); no lock.
#pragma once

#include <memory>
#include <typeinfo>

#include "core/MessagePayload.h"

// The ids of the queue, with the payload type each is posted with. A payload belongs to the
// message until a handler takes it (Message::take); whatever is left goes with the message.
// A payload naming an object that can die is a CountedRef to it, or an id to look it up by.
enum MessageId {
    MSG_LOAD_STATE = 0,           // none
    MSG_SAVE_STATE = 1,           // none
    MSG_SERVER_CONNECT = 2,       // IpPort or none
    MSG_SERVER_DISCONNECT = 3,    // none
    MSG_SERVER_TRY_NEXT = 4,      // none
    MSG_SEARCH = 5,               // Search
    MSG_SEARCH_TYPED = 6,         // Search
    MSG_MORE_RESULTS = 7,         // none
    MSG_EXTEND_SEARCH = 8,        // Search
    MSG_EXTEND_SEARCH_TYPED = 9,  // Search
    MSG_START_DOWNLOAD = 10,      // FileMeta
    MSG_END_DOWNLOAD = 11,        // CountedRef<Download>
    MSG_PAUSE_DOWNLOAD = 12,      // CountedRef<Download>
    MSG_RESUME_DOWNLOAD = 13,     // CountedRef<Download>
    MSG_CANCEL_DOWNLOAD = 14,     // CountedRef<Download>
    MSG_RESCAN_SHARED = 16,       // none
    MSG_PUBLISH = 17,             // none
    MSG_SHARE_FILE = 18,          // FileMeta
    MSG_NOTHING = 20,             // none
    MSG_OPEN_CHAT = 22,           // UserMeta
    MSG_CHECK_DISK_SPACE = 23,    // none
    MSG_FREED_CONNECTION = 24,   // the connection's id or a counted reference, never a bare pointer
    MSG_RELOAD_FILTERS = 25,     // none
    MSG_MERGE_SERVER_LIST = 26,  // i4_string (a file path)
    MSG_COMMAND = 27,            // i4_string (a command line)
    MSG_REOPEN_DOOR = 28,        // i4_proxy_settings
    MSG_LOAD_PARTIALS = 29,      // i4_string (a directory)
    MSG_ADD_USER_SOURCE = 32,    // UserMeta with a file hash
    MSG_ADD_TEXT_SOURCE = 33,    // a source text with a file hash
    MSG_RERANK_DOWNLOADS = 34,   // none
    MSG_CONNECT_FAILED = 35,     // IpPort
    // Worker threads ask the core task thread for these instead of doing them.
    MSG_UNSHARE_FILE = 36,           // FileMeta (a copy of the record to unshare)
    MSG_DROP_SHARED_DIRECTORY = 37,  // i4_string (a directory that cannot be listed)
    // The command-line arguments have run: the peer door that waited for them opens.
    MSG_OPEN_DOOR = 38,  // none
    MSG_ID_LIMIT = 256   // ids run from 0 to MSG_ID_LIMIT - 1
};

class Message {
public:
    explicit Message(int id_ = 0) : id(id_) {}
    Message(int id_, std::unique_ptr<MessagePayload> p) : id(id_), payload(std::move(p)) {}
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    // The payload if it was posted as a T (owned or counted), else null; it stays the
    // message's and lives as long as the message.
    template <class T>
    T* get() const {
        return payload ? static_cast<T*>(payload->object(typeid(T))) : nullptr;
    }
    // Hands an owned payload posted as a T over to the caller; null otherwise.
    template <class T>
    std::unique_ptr<T> take() {
        OwnedPayload<T>* owned = dynamic_cast<OwnedPayload<T>*>(payload.get());
        return owned ? std::move(owned->held) : nullptr;
    }
    bool hasPayload() const { return payload != nullptr; }

    int id;

private:
    std::unique_ptr<MessagePayload> payload;
};
