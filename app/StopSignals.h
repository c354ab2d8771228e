// Installed once by the main thread at start-up; the handler runs on any thread.
#pragma once

// SIGINT, SIGTERM and SIGHUP end the client the way a confirmed quit does: the
// command runner's running flag is cleared and the console's input is ended,
// so the main thread leaves its wait (the prompt, the pager, "!" or "w") and
// shuts down in order: every state file written, the log's end line, exit
// status 0.
class StopSignals {
public:
    static void install();
    // The last such signal received, 0 for none.
    static int received();
    // Any thread: the same way out for a stop asked from elsewhere (a remote controller),
    // without counting as a signal received. Only once install has run.
    static void wakeMainThread();

private:
    static void handle(int signal);
    static void endInput();
};
