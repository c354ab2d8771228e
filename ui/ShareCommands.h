// Console command handlers: on the core task thread (or the main thread for a
// command-line argument), one at a time, like every handler.
#pragma once

// The console's sharing commands: shared directories and files, the temporary and
// incoming directories, the peer door's port and the "save corrupted" option. "a",
// "a+", "temp" and "in" take the rest of the line after the command word and one
// separating character, so a directory name may hold blanks.
class ShareCommands {
public:
    // "a dir": shares the directory and asks for a rescan.
    static void addDirectory(char* line);
    // "a+ dir": shares the directory and every subdirectory below it whose name does not
    // begin with '.'; each real directory once, so a link loop ends.
    static void addDirectoryTree(char* line);
    // "vs": the shared directories, numbered from 1.
    static void viewDirectories(char* line);
    // "vf [n]": the shared files as a table, or the details of file n.
    static void viewFiles(char* line);
    // "u n": stops sharing directory n; the incoming directory stays shared.
    static void removeDirectory(char* line);
    // "port [n]": moves the peer door to port n, or shows the port.
    static void doorPort(char* line);
    // "temp [dir]": changes or shows the temporary directory.
    static void tempDirectory(char* line);
    // "in [dir]": changes or shows the incoming directory.
    static void incomingDirectory(char* line);
    // "space": the free space where the temporary and the incoming directory lie.
    static void freeSpace(char* line);
    // "save [-]": keeps (or, with '-', drops) completed downloads whose hash fails.
    static void saveCorrupted(char* line);
};
