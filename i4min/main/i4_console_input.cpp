#include "i4min/main/i4_console_input.h"

#include <errno.h>
#include <termios.h>
#include <unistd.h>

namespace {

// getc that rides out signals: a read cut short by a signal (one meant to
// wake a thread blocked in a socket call) is not the end of the input.
int nextChar(FILE* in) {
    for (;;) {
        errno = 0;
        int c = getc(in);
        if (c != EOF || !ferror(in) || errno != EINTR) return c;
        clearerr(in);
    }
}

}  // namespace

int waitKey(FILE* in) {
    int fd = fileno(in);
    termios saved;
    bool terminal = fd >= 0 && isatty(fd) && tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios single = saved;
        single.c_lflag &= ~(ICANON | ECHO);
        single.c_cc[VMIN] = 1;
        single.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &single);
    }
    // The terminal is put back through a descriptor of our own: a stop signal
    // may have put another file in the place of the input meanwhile.
    int keep = terminal ? dup(fd) : -1;
    int c = nextChar(in);
    if (terminal) tcsetattr(keep >= 0 ? keep : fd, TCSANOW, &saved);
    if (keep >= 0) close(keep);
    return c == EOF ? 'q' : c;
}

void clearInput(FILE* in) {
    clearerr(in);
}

bool readLine(char* buf, int n, FILE* in) {
    if (n < 1) return false;
    int stored = 0;
    buf[0] = 0;
    if (n < 2) return false;
    while (stored < n - 1) {
        int c = nextChar(in);
        if (c == EOF) {
            buf[stored] = 0;
            return stored > 0;
        }
        if (c == '\n') {
            buf[stored] = 0;
            return true;
        }
        buf[stored++] = (char)c;
    }
    buf[stored] = 0;
    // A line of exactly n-1 characters ends here; a longer one keeps its rest.
    int c = nextChar(in);
    if (c != '\n' && c != EOF) ungetc(c, in);
    return true;
}
