#include "app/AppMain.h"

#include <signal.h>
#include <stdio.h>
#include <unistd.h>
#include <vector>

#include "app/ConClientApp.h"
#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/CoreUI.h"
#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "i4min/init/i4_init_class.h"
#include "i4min/main/i4_main.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_thread.h"
#include "net/ClientNetwork.h"
#include "ui/CLUI.h"

namespace {

const char* const kVersion = "0.50.1";

// An error that leaves appMain must not leave the core task thread running
// into the static destructors of the objects it uses.
struct CoreThreadStopper {
    ~CoreThreadStopper() { theCore.stopThread(); }
};

void waitWhileRunning() {
    for (;;) {
        // Nobody types at the prompt meanwhile: a quit from the queue is asked here.
        theServant->askPendingQuit();
        if (!theServant->isRunning()) return;
        i4_sleep(1);
    }
}

}  // namespace

bool handleArgument(const char* argument) {
    switch (argument[0]) {
    case 'w': {
        int seconds = 0;
        if (sscanf(argument, "w%d", &seconds) != 1) seconds = 0;
        i4_printf("Waiting %d\n", seconds);
        if (seconds > 0) i4_sleep(seconds);
        return false;
    }
    case '!':
        waitWhileRunning();
        return false;
    default:
        return true;
    }
}

void appMain(int, char**) {
    signal(SIGPIPE, SIG_IGN);
    i4_init();

    theCore.loadUIStrings();

    Servant& servant = theConClientApp;
    servant.registerHandlers(theMessageQ);

    CLUI* console = new CLUI(theConClientApp.theSearchResults);
    UIGateway* builtInUI = theUI;
    CoreUI* builtInCoreUI = theCoreUI;
    TransferUI* builtInTransferUI = theTransferUI;
    ServerUI* builtInServerUI = theServerUI;
    theUI = console;
    theCore.setUI(console);

    CoreThreadStopper stopper;
    theCore.setNetwork(&theClientNetwork);
    theCore.start();
    theTransferUI = console;
    theServerUI = console;

    i4_string logPath;
    logPath.format("%s/log.txt", theCoreOptions.getBaseDir().c_str());
    unlink(logPath.c_str());
    console->setLogFile(logPath.c_str());
    theUI->log("Start Tornavel");

    std::vector<i4_string> arguments = getArguments();
    for (size_t i = 1; i < arguments.size(); ++i) {
        const char* argument = arguments[i].c_str() ? arguments[i].c_str() : "";
        if (handleArgument(argument)) servant.execute(argument);
    }

    i4_printf("Welcome to Tornavel command line client %s\n", kVersion);
    i4_printf("Enter commands at any time (type '?' for help)\n");
    while (servant.isRunning()) servant.readCommand();

    theCore.stopThread();
    i4_wait_threads();
    theCore.stop();
    theUI->log("End Tornavel");
    theUI = builtInUI;
    theCoreUI = builtInCoreUI;
    theTransferUI = builtInTransferUI;
    theServerUI = builtInServerUI;
    delete console;
    i4_uninit();
}
