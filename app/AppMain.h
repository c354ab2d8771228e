// Main thread only: the body of the program, run once by the program entry.
#pragma once

// Start-up, the command-line arguments, the console loop and shut-down.
void appMain(int argc, char** argv);

// Acts on an argument by its first character; true when the whole argument
// is to be run as a console command.
bool handleArgument(const char* argument);
