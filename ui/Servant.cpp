#include "ui/Servant.h"

#include <cstring>
#include <memory>
#include <string.h>

#include "core/MessageQ.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/main/i4_console_input.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"

Servant* theServant = 0;

const char* const Servant::DELIMITERS = " ,\t\n\"";

namespace {
// Set while this thread runs a line delivered by the queue.
thread_local bool runningFromQueue = false;

struct FromQueue {
    FromQueue() { runningFromQueue = true; }
    ~FromQueue() { runningFromQueue = false; }
};

}  // namespace

Command::Command(const char* name_, CommandFunction handler_, const char* help_)
    : name(name_), handler(handler_), help(help_) {}

Servant::Servant()
    : masterMode(false),
      prompt("> "),
      running(true),
      quitAsked(false),
      inputEnded(false),
      awaited(0),
      stopWaker(nullptr) {
    thePageViewer = &pager;
}

Servant::~Servant() {
    if (thePageViewer == &pager) thePageViewer = 0;
    for (Command* c : commands) delete c;
}

void Servant::registerHandlers(MessageQ& queue) {
    queue.setHandler(this, MSG_COMMAND);
}

void Servant::handleMessage(Message* message) {
    if (message->id != MSG_COMMAND) return;
    i4_string* line = message->get<i4_string>();
    {
        FromQueue mark;
        // Only the line the console loop waits for is followed by a showing of the pager;
        // any other line (a remote controller's) prints its listing at once.
        PageViewer::HeldOff notPaged(awaited.load() != line);
        execute(line && line->c_str() ? line->c_str() : "");
    }
    const void* mine = line;
    i4_lock hold(&ticketLock);
    if (awaited.compare_exchange_strong(mine, 0)) ticketDone.notify_all();
}

void Servant::addCommand(Command* command) {
    commands.push_back(command);
}

Command* Servant::find(std::vector<Command*>& list, const char* word) {
    for (Command* c : list)
        if (c->name.equals(word)) return c;
    return 0;
}

void Servant::execute(const char* line) {
    size_t n = strlen(line) + 1;
    std::vector<char> forHandler(line, line + n);
    std::vector<char> forWord(line, line + n);
    char* rest = 0;
    const char* word = strtok_r(forWord.data(), DELIMITERS, &rest);
    Command* command = word ? find(commands, word) : 0;
    if (command)
        command->handler(forHandler.data());
    else
        unknownCommand(forHandler.data());
}

void Servant::unknownCommand(char*) {
    i4_string text = theXMLStringTable.localized("STRINGS_UNKNOWN_COMMAND",
                                                 "Unrecognized command. type ? for help");
    theUI->printLine("%s\n", text.c_str());
}

bool Servant::readInput(char* buffer, int size) {
    buffer[0] = 0;
    bool got = lines ? lines(buffer, size) : (clearInput(), readLine(buffer, size));
    if (!got) inputEnded = true;
    return got;
}

bool Servant::confirm(const char* question) {
    theUI->printLine("%s?(y or n): ", question);
    char answer[ANSWER_SIZE];
    if (!readInput(answer, sizeof answer)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

void Servant::quit() {
    if (runningFromQueue) {
        quitAsked = true;
        return;
    }
    i4_string question =
        theXMLStringTable.localized("areYouSureExit", "Are you sure you want to exit");
    // End of input counts as yes: nobody is left to type a command.
    if (confirm(question.c_str()) || inputEnded) running = false;
}

void Servant::requestStop() {
    running = false;
    if (StopWaker waker = stopWaker.load()) waker();
}

void Servant::askPendingQuit() {
    if (quitAsked.exchange(false)) quit();
}

void Servant::readCommand() {
    askPendingQuit();
    if (!running) return;
    i4_printf("%s", prompt.c_str());
    char line[LINE_SIZE];
    if (!readInput(line, sizeof line)) {
        // End of input: quit as if confirmed.
        i4_printf("\n");
        running = false;
        return;
    }
    if (strcmp(line, "q") == 0) {
        quit();
        return;
    }
    runQueued(line);
}

void Servant::runQueued(const char* line) {
    std::unique_ptr<i4_string> owned(new i4_string(line));
    i4_string* posted = owned.get();
    awaited = posted;
    theMessageQ.post(MSG_COMMAND, std::move(owned));
    {
        std::unique_lock<std::mutex> hold(ticketLock);
        ticketDone.wait(hold, [this, posted] { return awaited.load() != posted; });
    }
    pager.show();
}

void Servant::help() {
    i4_string title = theXMLStringTable.localized("helpCommand", "Commands: (optional arguments)");
    theUI->printLine("%s", title.c_str());
    for (Command* c : commands)
        if (!c->help.is_empty()) theUI->printLine("%s", c->help.c_str());
}
