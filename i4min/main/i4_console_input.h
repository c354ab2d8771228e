// Main thread only: reads the console's standard input (the stream may be given for tests).
#ifndef I4_CONSOLE_INPUT_H
#define I4_CONSOLE_INPUT_H

#include <stdio.h>

// One key from the terminal, without echo and without waiting for a line
// end; the terminal's mode is back afterwards. End of input answers 'q', so
// a waiting pager ends instead of spinning.
int waitKey(FILE* in = stdin);

// Clears the stream's end-of-file and error state so reading may go on.
void clearInput(FILE* in = stdin);

// Reads one line into buf (at most n-1 characters, zero-terminated, the line
// end dropped); a longer line leaves its rest for the next read. False only
// at end of input with nothing read, so an empty line is told from the end.
bool readLine(char* buf, int n, FILE* in = stdin);

#endif
