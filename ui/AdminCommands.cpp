#include "ui/AdminCommands.h"

#include <cstdlib>

#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "ui/AdminSettings.h"
#include "ui/CommandArgs.h"

void AdminCommands::password(char* line) {
    CommandArgs args(line);
    const char* name = args.next();
    const char* pass = name ? args.next() : nullptr;
    theAdminSettings.setCredentials(name, pass);
}

void AdminCommands::adminPort(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    int port = given ? atoi(given) : 0;
    // The open door keeps its port: the new one is listened on from the next start.
    if (theAdminSettings.setDoorPort(port)) {
        theUI->printLine(
            "%s",
            theXMLStringTable.localized("portWillChange", "Port will change when you restart.")
                .c_str());
        return;
    }
    theUI->printLine("%d", theAdminSettings.getDoorPort());
}
