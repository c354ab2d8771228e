// Used by one command handler at a time, on whichever thread runs it; keeps a
// pointer into the handler's own copy of the line.
#pragma once

// The arguments of a command line, split as every handler splits them: at
// blank, comma, tab, line feed and double quote, the command word skipped.
class CommandArgs {
public:
    // Cuts the line up in place (the handler's copy).
    explicit CommandArgs(char* line);

    // The next argument, or null when none is left.
    char* next();

    // True when the whole text is a decimal number that fits an int, with an
    // optional sign; out is set only then.
    static bool wholeNumber(const char* text, int* out);

private:
    char* rest;
};
