// Console command handlers: on the core task thread (or the main thread for a command-line
// argument), one at a time, like every handler.
#pragma once

// The console's friend commands. Numbers are decimal; text that is not a number counts as 0.
class FriendCommands {
public:
    // "gfr": the friends; "gfr N [r]": friend N's directories (r: asked again); "gfr N D [r]":
    // the files of its directory D; "gfr N D F": downloads file F of that directory.
    static void get(char* line);
    // "afr N": the user of open peer connection N becomes a friend.
    static void add(char* line);
    // "rfr N": friend N is removed.
    static void remove(char* line);
};
