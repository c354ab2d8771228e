#include "ui/CommandArgs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string.h>

#include "ui/Servant.h"

CommandArgs::CommandArgs(char* line) : rest(nullptr) {
    strtok_r(line, Servant::DELIMITERS, &rest);
}

char* CommandArgs::next() {
    // After the last token strtok_r leaves rest at the end, never null.
    return rest ? strtok_r(nullptr, Servant::DELIMITERS, &rest) : nullptr;
}

bool CommandArgs::wholeNumber(const char* text, int* out) {
    if (!text) return false;
    const char* digits = (*text == '-' || *text == '+') ? text + 1 : text;
    // strtol would also take leading white space and a lone sign.
    if (*digits < '0' || *digits > '9') return false;
    char* end = nullptr;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (*end != 0 || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    *out = (int)value;
    return true;
}
