// One HTTP fetch into a file. A record is used by one thread at a time, except cancel, which
// any thread may call; the lock guards the socket in use and the cancelled flag.
#pragma once
#include <cstdint>
#include <mutex>

#include "i4min/string/i4_string.h"

class i4_protocol;
class i4_socket;

class i4_HttpConnection {
public:
    int port = 80;           // when the URL names none
    int32_t timeout_ms = 0;  // longest silence of the server; 0: the connect limit
    int32_t max_bytes = 0;   // largest body taken; 0: 16 MiB
    int status = 0;          // status code of the last answer, 0 when none came
    i4_string host;          // filled from the URL
    i4_string path;
    i4_string file;

    i4_HttpConnection() = default;
    i4_HttpConnection(const i4_HttpConnection&) = delete;
    i4_HttpConnection& operator=(const i4_HttpConnection&) = delete;

    // Ends a fetch under way (its wait for the server fails at once) and every later one
    // of this record. Through a proxy, the connect and handshake still run to their limit.
    void cancel();
    bool cancelled();

private:
    friend class i4_HttpFetchSocket;
    std::mutex lock;
    i4_socket* active = nullptr;
    bool stopped = false;
};

// Fetches an http:// URL with a plain GET and stores the body at file_path: written under
// file_path + ".tmp", flushed, then renamed over file_path. Only status 200 with a body of
// at most the cap counts. 0 on success; on failure 1, and no file is left behind (an older
// file at file_path stays as it was). Goes through the protocol's proxy when one is given,
// else connects directly. Blocks the calling thread.
int i4_http_get_to_file(i4_HttpConnection* connection, const char* url, const char* file_path,
                        i4_protocol* protocol = nullptr);
