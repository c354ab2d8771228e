// Test helpers that run a body in a child process under conditions the test
// process itself must not take on: a full disk, or a user without rights.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs the body in a child process and answers its exit status (the body's
// result), or -1 when the child did not end normally. With fileSizeLimit set,
// writes past that many bytes fail, as they would on a full disk. With
// unprivileged set and the test running as root, the child first gives up its
// rights (to the user nobody), so that file permissions hold for it; the
// directory is opened to it for that.
struct ChildOptions {
    long fileSizeLimit = -1;
    bool unprivileged = false;
    const char* directory = nullptr;
};

template <class Body>
int exitStatusOfChild(const ChildOptions& options, Body body) {
    if (options.unprivileged && geteuid() == 0 && options.directory) chmod(options.directory, 0777);
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (options.fileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit lim = {(rlim_t)options.fileSizeLimit, (rlim_t)options.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &lim);
        }
        if (options.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
        _exit(body());
    }
    int status;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
