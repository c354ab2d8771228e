#include "app/ConClientApp.h"

ConClientApp theConClientApp;

namespace {
void quitCommand(char*) {
    theServant->quit();
}
}  // namespace

ConClientApp::ConClientApp() {
    theServant = this;
    addCommand(new Command("q", quitCommand));
}

ConClientApp::~ConClientApp() {
    theSearchResults.deleteAll();
    if (theServant == this) theServant = 0;
}
