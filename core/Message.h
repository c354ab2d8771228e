// A plain record; whoever holds the pointer may read it.
#pragma once

// The ids of the queue. The payload type of each is named beside it; the
// handler owns the payload and deletes or keeps it.
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
    MSG_END_DOWNLOAD = 11,        // Download
    MSG_PAUSE_DOWNLOAD = 12,      // Download
    MSG_RESUME_DOWNLOAD = 13,     // Download
    MSG_CANCEL_DOWNLOAD = 14,     // Download
    MSG_RESCAN_SHARED = 16,       // none
    MSG_PUBLISH = 17,             // none
    MSG_SHARE_FILE = 18,          // FileMeta
    MSG_NOTHING = 20,             // none
    MSG_OPEN_CHAT = 22,           // UserMeta
    MSG_CHECK_DISK_SPACE = 23,    // none
    MSG_FREED_CONNECTION = 24,    // TCPConnection
    MSG_RELOAD_FILTERS = 25,      // none
    MSG_MERGE_SERVER_LIST = 26,   // i4_string (a file path)
    MSG_COMMAND = 27,             // i4_string (a command line)
    MSG_REOPEN_DOOR = 28,         // i4_proxy_settings
    MSG_LOAD_PARTIALS = 29,       // i4_string (a directory)
    MSG_ADD_USER_SOURCE = 32,     // UserMeta with a file hash
    MSG_ADD_TEXT_SOURCE = 33,     // a source text with a file hash
    MSG_RERANK_DOWNLOADS = 34,    // none
    MSG_CONNECT_FAILED = 35,      // IpPort
    MSG_ID_LIMIT = 256            // ids run from 0 to MSG_ID_LIMIT - 1
};

struct Message {
    int id;
    void* data;
};
