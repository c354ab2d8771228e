#include "ui/SettingsCommands.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string.h>

#include "core/CoreOptions.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/string/i4_string.h"
#include "ui/CommandArgs.h"
#include "ui/Servant.h"

namespace {

void printLocalized(const char* key, const char* text) {
    theUI->printLine("%s", theXMLStringTable.localized(key, text).c_str());
}

void printDone() {
    printLocalized("done", "Done.");
}

// Limits and speeds are kept through a 32-bit float, as they are stored.
double asStored(const char* text) {
    return (double)(float)atof(text);
}

}  // namespace

void SettingsCommands::maxConnections(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    if (!given) {
        theUI->printLine("%d", theCoreOptions.maxCon);
        return;
    }
    int n;
    if (!CommandArgs::wholeNumber(given, &n)) return;
    theCoreOptions.maxCon = n;
    printDone();
}

void SettingsCommands::name(char* line) {
    // The first blank after the command word: one before it (" name") would
    // make the word itself the new name.
    const char* word = line + strspn(line, Servant::DELIMITERS);
    const char* blank = strchr(word + strcspn(word, Servant::DELIMITERS), ' ');
    if (!blank) {
        theUI->printLine("%s", theCoreOptions.getUserName().c_str());
        return;
    }
    i4_string text(blank + 1);
    if (text.length() > MAX_NAME_TEXT) text.truncate(MAX_NAME_TEXT);
    theCoreOptions.setUserName(text.c_str());
    printLocalized("ok", "ok.");
}

void SettingsCommands::bandwidth(char* line) {
    CommandArgs args(line);
    const char* down = args.next();
    const char* up = down ? args.next() : nullptr;
    if (!up) {
        theUI->printLine("d/u: %0.2f/%0.2f", theCoreOptions.getMaxDownload(),
                         theCoreOptions.getMaxUpload());
        return;
    }
    // Upload first: the download limit is capped by the upload limit in force.
    theCoreOptions.setMaxUpload(asStored(up));
    theCoreOptions.setMaxDownload(asStored(down));
    printDone();
}

void SettingsCommands::verbose(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    bool on = !(given && given[0] == '-');
    theUI->setVerbose(on);
    if (on)
        printLocalized("verboseOn", "Verbose mode on.");
    else
        printLocalized("verboseOff", "Verbose mode off.");
}

void SettingsCommands::lineSpeed(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    if (!given) {
        // Cut to an integer, and to what an int holds.
        double speed = theCoreOptions.lineDown;
        theUI->printLine("%d", speed < INT_MAX ? (int)speed : INT_MAX);
        return;
    }
    // No speed, as the settings read such a value back at the next start.
    double speed = asStored(given);
    theCoreOptions.lineDown = std::isfinite(speed) && speed >= 0 ? speed : 0;
    printDone();
}

void SettingsCommands::language(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    // A name that is not one plain file name is refused like a missing one:
    // it must not lead the loader out of the base directory.
    if (!given || !theCoreOptions.setLanguage(given)) {
        printLocalized("STRINGS_INVALID_ARGUMENTS", "Invalid arguments.");
        return;
    }
    printLocalized("ok", "ok.");
}

void SettingsCommands::pageLines(char* line) {
    PageViewer& pager = theServant->getPager();
    CommandArgs args(line);
    const char* given = args.next();
    if (!given) {
        theUI->printLine("%d", pager.getLines());
        return;
    }
    int n;
    // A page of no lines would never move on; one past what the settings load
    // back would be lost at the next start.
    if (!CommandArgs::wholeNumber(given, &n) || n < 1 || n > CoreOptions::MAX_SCREEN_LINES) return;
    pager.setLines(n);
    printLocalized("set", "set.");
}
