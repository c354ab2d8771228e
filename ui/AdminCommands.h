// Console command handlers: on the core task thread (or the main thread for a
// command-line argument), one at a time, like every handler.
#pragma once

// The commands that change the remote-control settings.
class AdminCommands {
public:
    // "pass name password": the login a controller must give; a missing word clears both,
    // which turns remote control off.
    static void password(char* line);
    // "aport [port]": the port controllers connect to, from the next start on; without a
    // port that a socket can have, the stored one is shown.
    static void adminPort(char* line);
};
