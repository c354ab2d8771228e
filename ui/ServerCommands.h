// Console command handlers: on the core task thread (or the main thread for a
// command-line argument), one at a time, like every handler. results is set once
// at start-up and read on the core task thread, which alone fills the results.
#pragma once

#include <cstdint>

class FileList;
class Search;

// The commands of the server list, the server connection and searching. Each takes
// the whole command line. Servers are numbered from 1 in the server list's order
// ("vm"), results from 1 in the order "vr" shows them.
class ServerCommands {
public:
    // "n address [port]": adds a server (port 4661 when none is given).
    static void addServer(char* line);
    // "vm": the server list.
    static void viewServers(char* line);
    // "xs": spreads the current search to the next server.
    static void extendSearch(char* line);
    // "s word... [-type]": a new search of at most four tokens.
    static void search(char* line);
    // "auto [-]", "recon [-]", "asr [-]": the server settings on, or off with "-".
    static void autoConnect(char* line);
    static void reconnect(char* line);
    static void autoRemove(char* line);
    // "b #": forgets server #.
    static void removeServer(char* line);
    // "spass # password": the password sent at the login to server #.
    static void serverPassword(char* line);
    // "sc": stops trying servers.
    static void stopConnecting(char* line);
    // "c [#]": connects to server #, or to the best servers in turn.
    static void connect(char* line);
    // "x": leaves the server.
    static void disconnect(char* line);
    // "glist url": fetches a server list and merges it into the list.
    static void getServerList(char* line);
    // "g": the client id and the server connection.
    static void serverStats(char* line);
    // "d #": downloads search result #.
    static void download(char* line);

    // The search "s" makes of the tokens after its word (at most four are read), or
    // null when they hold no search text. Public for the tests.
    static Search* buildSearch(char* line);

    // A word of the search text keeps at most this many characters, the whole text at
    // most MAX_SEARCH_TEXT: the most a search text keeps when it is read from the wire.
    enum { MAX_WORD = 50, MAX_SEARCH_TEXT = 200, MAX_TOKENS = 4 };

    // The console's search results ("d"), set by the console application.
    static FileList* results;
};
