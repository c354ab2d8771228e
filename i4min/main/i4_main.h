// Main thread only: i4_main runs once; getArguments may be called once it has copied the arguments.
#ifndef I4_MAIN_H
#define I4_MAIN_H

#include <vector>

#include "i4min/string/i4_string.h"

typedef void (*i4_app_main_type)(int argc, char** argv);

// The process entry: records the main thread, copies the arguments and runs
// the application main. Answers the exit status: 0 after a normal end, 1
// after an error escaped it (printed as its last word).
int i4_main(int argc, char** argv, i4_app_main_type appMain);

// Every argument, the program name at index 0 included.
std::vector<i4_string> getArguments();

int i4_get_pid();
[[noreturn]] void i4_exit(int status);

#endif
