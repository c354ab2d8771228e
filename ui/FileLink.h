// Keeps no state; the command runs where console commands run.
//
// File and server links as typed after "dllink": anything up to the first
// bar, then the fields between bars:
//   file:   "file", the name (+ and %XX decoded), the size in bytes, the
//           32 hexadecimal digits of the file hash
//   server: "server", a dotted IPv4 address, the port
#pragma once

#include <stdint.h>

class FileMeta;

class FileLink {
public:
    enum Result { NOT_A_LINK, ZERO_SIZE, BAD_HASH, FILE_LINK, SERVER_LINK, NOTHING };

    struct Parsed {
        Result result;
        FileMeta* record;  // FILE_LINK: the new record, the caller's
        uint32_t ip;       // SERVER_LINK
        uint16_t port;
    };

    // Reads the command line (cut up in place).
    static Parsed parse(char* line);
    // "dllink": a file link starts a download (message 10), a server link
    // adds the server; anything else prints why it is not taken.
    static void command(char* line);
};
