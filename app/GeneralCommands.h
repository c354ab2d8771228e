// Console command handlers: on the core task thread (or the main thread for a
// command-line argument), one at a time, like every handler.
#pragma once

// The general console commands. Each takes the whole command line.
class GeneralCommands {
public:
    // "?": the help listing, through the pager.
    static void help(char* line);
    // "q": quits after a confirmation.
    static void quit(char* line);
    // "vr": the results of the last search.
    static void viewResults(char* line);
    // "vo": one line per setting.
    static void viewOptions(char* line);
    // "cps [x]": new downloads in one temporary file (any argument) or one
    // file per part (none).
    static void partStyle(char* line);
    // "test": the built-in self-tests.
    static void selfTest(char* line);
    // "master [-]": master mode on or off.
    static void master(char* line);
};
