// Console command handlers: on the core task thread (or the main thread for a
// command-line argument), one at a time, like every handler.
#pragma once

// The console's view of the peer connections.
class PeerCommands {
public:
    // "vp": the number of connections, then each peer connection by name; in master mode
    // every connection of the socket pool with its description, and the total rates.
    static void view(char* line);
    // "vpart": the partner manager's slots and the download that is highest now.
    static void partners(char* line);
};
