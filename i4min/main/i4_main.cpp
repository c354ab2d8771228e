#include "i4min/main/i4_main.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_thread.h"

namespace {

std::vector<i4_string> arguments;

int lastWord(const char* message) {
    const char* file = nullptr;
    int line = 0;
    i4_get_error_location(&file, &line);
    if (file && message)
        printf("Unrecoverable error at %s:%d : %s", file, line, message);
    else
        printf("Unrecoverable error");
    fflush(stdout);
    return 1;
}

}  // namespace

int i4_main(int argc, char** argv, i4_app_main_type appMain) {
    i4_set_main_thread(i4_get_thread_id());
    arguments.clear();
    for (int i = 0; i < argc; i++) arguments.push_back(i4_string(argv[i]));
    try {
        appMain(argc, argv);
    } catch (const i4_err& e) {
        return lastWord(e.message());
    } catch (...) {
        // Any other escape is just as fatal; it must not end as an abort signal.
        return lastWord(nullptr);
    }
    return 0;
}

std::vector<i4_string> getArguments() {
    return arguments;
}

int i4_get_pid() {
    return (int)getpid();
}

void i4_exit(int status) {
    exit(status);
}
