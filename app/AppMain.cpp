#include "app/AppMain.h"

#include "app/ConClientApp.h"
#include "core/CoreUI.h"
#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "core/TaskThread.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/init/i4_init_class.h"
#include "i4min/main/i4_main.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_thread.h"
#include "ui/CLUI.h"
#include "util/XMLParser.h"

#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

const char* const kVersion = "0.50.1";

// Runs the message queue (and, as they arrive, the pools) on the core task
// thread.
TaskThread coreThread;

// Keeps the document of the user-interface texts alive for the string table.
XMLParser uiTextParser;

// A text file bigger than this is not a table of texts.
const long kMaxUiFile = 4 * 1024 * 1024;

// The working directory, without a trailing separator.
i4_string baseDirectory()
{
  std::vector<char> buffer(4096);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (buffer.size() >= (1u << 20))
      return i4_string(".");
    buffer.resize(buffer.size() * 2);
  }
  i4_string dir(buffer.data());
  int n = (int)i4_strlen(dir.c_str());
  if (n > 1 && dir.c_str()[n - 1] == '/')
    dir.truncate(n - 1);
  return dir;
}

// skins/default/ui.xml under the base directory replaces the built-in texts
// it names; without it they stay.
void loadUIStrings(const i4_string& base)
{
  i4_string path;
  path.format("%s/skins/default/ui.xml", base.c_str());
  FILE* f = fopen(path.c_str(), "rb");
  if (!f)
    return;
  struct stat st;
  std::vector<char> text;
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxUiFile) {
    text.resize((size_t)st.st_size);
    text.resize(fread(text.data(), 1, text.size(), f));
  }
  fclose(f);
  if (text.empty())
    return;
  theXMLStringTable.load(uiTextParser.parse(text.data(), text.size()));
}

// An error that leaves appMain must not leave the core task thread running
// into the static destructors of the objects it uses.
struct CoreThreadStopper {
  ~CoreThreadStopper() { coreThread.stop(); }
};

void waitWhileRunning()
{
  while (theServant->isRunning())
    i4_sleep(1);
}

}  // namespace

bool handleArgument(const char* argument)
{
  switch (argument[0]) {
  case 'w': {
    int seconds = 0;
    if (sscanf(argument, "w%d", &seconds) != 1)
      seconds = 0;
    i4_printf("Waiting %d\n", seconds);
    if (seconds > 0)
      i4_sleep(seconds);
    return false;
  }
  case '!':
    waitWhileRunning();
    return false;
  default:
    return true;
  }
}

void appMain(int, char**)
{
  signal(SIGPIPE, SIG_IGN);
  i4_init();

  i4_string base = baseDirectory();
  loadUIStrings(base);

  Servant& servant = theConClientApp;
  servant.registerHandlers(theMessageQ);

  CLUI* console = new CLUI(theConClientApp.theSearchResults);
  UIGateway* builtInUI = theUI;
  CoreUI* builtInCoreUI = theCoreUI;
  TransferUI* builtInTransferUI = theTransferUI;
  ServerUI* builtInServerUI = theServerUI;
  theUI = console;
  theCoreUI = console;
  theTransferUI = console;
  theServerUI = console;

  CoreThreadStopper stopper;
  coreThread.addTask(&theMessageQ);
  coreThread.start();

  i4_string logPath;
  logPath.format("%s/log.txt", base.c_str());
  unlink(logPath.c_str());
  console->setLogFile(logPath.c_str());
  theUI->log("Start Tornavel");

  std::vector<i4_string> arguments = getArguments();
  for (size_t i = 1; i < arguments.size(); ++i) {
    const char* argument = arguments[i].c_str() ? arguments[i].c_str() : "";
    if (handleArgument(argument))
      servant.execute(argument);
  }

  i4_printf("Welcome to Tornavel command line client %s\n", kVersion);
  i4_printf("Enter commands at any time (type '?' for help)\n");
  while (servant.isRunning())
    servant.readCommand();

  coreThread.stop();
  i4_wait_threads();
  theUI->log("End Tornavel");
  theUI = builtInUI;
  theCoreUI = builtInCoreUI;
  theTransferUI = builtInTransferUI;
  theServerUI = builtInServerUI;
  delete console;
  i4_uninit();
}
