#include "app/AppMain.h"

#include <climits>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

#include "app/BaseDirLock.h"
#include "app/ClcHandler.h"
#include "app/ConClientApp.h"
#include "app/StateSaver.h"
#include "app/StopSignals.h"
#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/CoreUI.h"
#include "core/MessageQ.h"
#include "core/NetworkGateway.h"
#include "core/ServerUI.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "i4min/init/i4_init_class.h"
#include "i4min/main/i4_main.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_thread.h"
#include "meta/SpecialTagInfo.h"
#include "net/ClientNetwork.h"
#include "server/ServerGateway.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "ui/AdminSettings.h"
#include "ui/CLUI.h"
#include "ui/RemoteTCPUI.h"
#include "ui/ServerListFetch.h"

namespace {

const char* const kVersion = "0.50.1";

// An error that leaves appMain must not leave the core task thread running
// into the static destructors of the objects it uses.
struct CoreThreadStopper {
    ~CoreThreadStopper() { theCore.stopThread(); }
};

// The base directory's lock lives as long as the process.
BaseDirLock baseDirLock;

// Waits in steps, so that a stop (a signal, a controller) ends the wait.
void waitWhileRunning(int seconds) {
    for (int i = 0; i < seconds && theServant->isRunning(); i++) i4_sleep(1);
}

void waitUntilStopped() {
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
        // "w" alone or before a letter waits 0 seconds; a number that does
        // not fit an int is refused, never wrapped or waited for decades.
        char* end;
        errno = 0;
        long long seconds = strtoll(argument + 1, &end, 10);
        if (end == argument + 1) seconds = 0;
        if (errno == ERANGE || seconds > INT_MAX || seconds < INT_MIN) {
            i4_printf("Cannot wait %s seconds\n", argument + 1);
            return false;
        }
        i4_printf("Waiting %d\n", (int)seconds);
        waitWhileRunning((int)seconds);
        return false;
    }
    case '!':
        waitUntilStopped();
        return false;
    case '-':
        // The remote UI in front of the console's, with the admin door open.
        RemoteTCPUI::install();
        return false;
    default:
        return true;
    }
}

void appMain(int, char**) {
    signal(SIGPIPE, SIG_IGN);
    // Past a file-size limit a write then fails (EFBIG) and takes the path of a
    // full disk, instead of the signal ending the client.
    signal(SIGXFSZ, SIG_IGN);
    StopSignals::install();
    i4_init();

    // Before anything in the base directory is read or changed.
    i4_string baseDir = CoreOptions::workingDirectory();
    switch (baseDirLock.take(baseDir.c_str())) {
    case BaseDirLock::TAKEN:
        break;
    case BaseDirLock::HELD_ELSEWHERE:
        i4_printf(
            "Another Tornavel client is running in %s; only one can use a directory at a "
            "time\n",
            baseDir.c_str());
        i4_uninit();
        i4_exit(1);
    case BaseDirLock::UNAVAILABLE:
        i4_printf(
            "%s cannot be locked (%s): a second client started here would not be kept "
            "out\n",
            baseDirLock.path().c_str(), baseDirLock.why());
        break;
    }

    theCore.loadUIStrings();
    initSpecialTags();

    Servant& servant = theConClientApp;
    servant.registerHandlers(theMessageQ);
    theClcHandler.registerHandlers(theMessageQ);

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
    theCore.taskThread().addTask(&theStateSaver);
    theTransferGateway.setUI(console);
    // A quit ends the hashing of a file within a crumb.
    HashThread::setRunningCheck([] { return theServant->isRunning(); });
    theTransferGateway.start();
    theServerUI = console;
    theNetworkGateway = &theServerGateway;
    theServerGateway.setUI(console);
    theServerGateway.start();
    loadAdminSettings();
    // A controller's stop gets the console loop out of its wait for input.
    servant.setStopWaker(StopSignals::wakeMainThread);

    i4_string logPath;
    logPath.format("%s/log.txt", theCoreOptions.getBaseDir().c_str());
    unlink(logPath.c_str());
    console->setLogFile(logPath.c_str());
    theUI->log("Start Tornavel");
    // An argument may name the door's port: it opens once, on that port.
    theTransferGateway.holdDoor();
    theMessageQ.post(MSG_LOAD_STATE);

    // Queued behind message 0, so a command given here acts on the loaded state
    // instead of being undone by the load, and never runs beside the core task thread.
    std::vector<i4_string> arguments = getArguments();
    bool doorReleased = false;
    auto releaseDoor = [&doorReleased] {
        if (!doorReleased) theMessageQ.post(MSG_OPEN_DOOR);
        doorReleased = true;
    };
    for (size_t i = 1; i < arguments.size() && servant.isRunning(); ++i) {
        const char* argument = arguments[i].c_str() ? arguments[i].c_str() : "";
        // Peers may reach the client during a wait.
        if (argument[0] == 'w' || argument[0] == '!') releaseDoor();
        if (handleArgument(argument)) servant.runQueued(argument);
    }
    releaseDoor();

    i4_printf("Welcome to Tornavel command line client %s\n", kVersion);
    i4_printf("Enter commands at any time (type '?' for help)\n");
    while (servant.isRunning()) servant.readCommand();

    theCore.stopThread();
    theTransferGateway.stopWorkers();
    ServerListFetch::cancelAll();
    theStateSaver.stopWriting();
    i4_wait_threads();
    saveAdminSettings();
    theServerGateway.stop();
    theTransferGateway.stop();
    theCore.stop();
    theUI->log("End Tornavel");
    theUI = builtInUI;
    theCoreUI = builtInCoreUI;
    theTransferUI = builtInTransferUI;
    theServerUI = builtInServerUI;
    // After the socket pool: no controller is left to report to it.
    delete RemoteTCPUI::installed();
    delete console;
    i4_uninit();
}
