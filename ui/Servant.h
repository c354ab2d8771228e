// The console command runner. execute and the command table: the core task
// thread (through message 27), or the main thread for command-line arguments.
// readCommand: the main thread only. The flags are atomic; the awaited line is
// the only thing the two threads hand over, under ticketLock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "core/MessageHandler.h"
#include "core/PageViewer.h"
#include "i4min/string/i4_string.h"

class MessageQ;

// A handler gets the whole line, command word included, in a copy of its own
// that it may cut up with the tokenizer.
typedef void (*CommandFunction)(char* line);

struct Command {
    Command(const char* name, CommandFunction handler, const char* help = "");
    i4_string name;
    CommandFunction handler;
    i4_string help;
};

class Servant : public MessageHandler {
public:
    // Reads one line of at most size - 1 characters into buffer; the rest of a
    // longer line is left for the next call. Answers false at end of input.
    typedef std::function<bool(char* buffer, int size)> LineReader;

    // The delimiters of every command line.
    static const char* const DELIMITERS;
    enum { LINE_SIZE = 255, ANSWER_SIZE = 82 };

    Servant();
    // Runs message 27, whose payload is the line (an i4_string).
    void handleMessage(Message* message) override;
    ~Servant() override;
    virtual void unknownCommand(char* line);
    virtual void registerHandlers(MessageQ& queue);

    // Runs one command line; the first command whose name equals the first word
    // (case-sensitive) wins, else the unknown-command text.
    void execute(const char* line);
    // One turn of the console loop.
    void readCommand();
    // Main thread: runs the line as the queue's next command, waits until it has
    // run, then shows what it paged. Everything posted before it has run by then.
    void runQueued(const char* line);
    // The list takes the command over.
    void addCommand(Command* command);
    // Prints "<question>?(y or n): " and reads the answer; true for y or Y.
    bool confirm(const char* question);
    void help();

    // The quit command: asks for confirmation and clears the running flag on
    // yes. Run from the queue it only marks the question, which the console
    // loop asks on the main thread, so the core task thread never waits on the
    // terminal.
    void quit();
    // Asks the question of a quit that came through the queue, if one did.
    // Main thread only: the console loop and the wait of the "!" argument.
    void askPendingQuit();

    bool isRunning() const { return running.load(); }
    void stopRunning() { running = false; }
    // Any thread: the client is to stop (a remote controller asked). The running flag is
    // cleared and the waker, when one is set, gets the main thread out of its wait for input.
    void requestStop();
    typedef void (*StopWaker)();
    void setStopWaker(StopWaker waker) { stopWaker = waker; }
    bool isMasterMode() const { return masterMode.load(); }
    void setMasterMode(bool on) { masterMode = on; }
    PageViewer& getPager() { return pager; }

    // Where console lines and answers come from; the terminal by default.
    void setLineReader(LineReader reader) { lines = reader; }

private:
    Command* find(std::vector<Command*>& list, const char* word);
    bool readInput(char* buffer, int size);

    std::vector<Command*> commands;
    std::atomic<bool> masterMode;
    i4_string prompt;
    std::atomic<bool> running;
    std::atomic<bool> quitAsked;
    std::atomic<bool> inputEnded;
    // The line the console loop waits for: set before posting it, cleared by
    // the core task thread once it has run and before it is freed, so the
    // address cannot belong to another line meanwhile.
    std::atomic<const void*> awaited;
    // The console loop sleeps on ticketDone until the core task thread has run its line.
    std::mutex ticketLock;
    std::condition_variable ticketDone;
    PageViewer pager;
    LineReader lines;
    std::atomic<StopWaker> stopWaker;
};

extern Servant* theServant;
