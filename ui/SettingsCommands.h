// Console command handlers: on the core task thread (or the main thread for a
// command-line argument), one at a time, like every handler.
#pragma once

// The commands that change the settings, the verbose mode, the string table
// and the pager's page length. Each takes the whole command line.
class SettingsCommands {
public:
    // "mcon [n]": the limit of connections from peers.
    static void maxConnections(char* line);
    // "name [text]": the user name, everything after the first blank.
    static void name(char* line);
    // "dumax [down up]": the download and upload limits in KB/s.
    static void bandwidth(char* line);
    // "verbose [-]": debug messages on or off.
    static void verbose(char* line);
    // "line [speed]": the download speed of the line in KB/s.
    static void lineSpeed(char* line);
    // "lang name": loads name.str into the plain string table.
    static void language(char* line);
    // "lines [n]": lines per page of the pager.
    static void pageLines(char* line);

    // Longest text that "name" hands on; the settings keep less.
    enum { MAX_NAME_TEXT = 128 };
};
