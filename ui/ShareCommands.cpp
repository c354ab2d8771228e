#include "ui/ShareCommands.h"

#include <set>
#include <stdlib.h>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "core/PageViewer.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/string/i4_string.h"
#include "meta/MetaList.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"
#include "ui/CommandArgs.h"
#include "ui/Servant.h"

namespace {

const int WORD_BUFFER = 256;

// The rest of the line after the command word and the one character that ended it, or
// null when nothing follows the word.
const char* restOfLine(const char* line) {
    char word[WORD_BUFFER];
    int end = i4_strtok(line, Servant::DELIMITERS, 0, word, sizeof word);
    if (end <= 0 || !line[end] || !line[end + 1]) return nullptr;
    return line + end + 1;
}

void printLocalized(const char* key, const char* text) {
    theUI->printLine("%s", theXMLStringTable.localized(key, text).c_str());
}

void beginPaging() {
    if (thePageViewer) thePageViewer->begin();
}

// The absolute form of a typed directory when it can be listed; false after saying it
// cannot (or that there is none).
bool typedDirectory(char* line, i4_string& dir) {
    const char* given = restOfLine(line);
    if (!given) {
        theUI->print("Invalid arguments.");
        return false;
    }
    i4_full_path(given, dir);
    if (i4_is_listable_directory(dir.c_str())) return true;
    theUI->print("directory not valid: %s\n", dir.c_str());
    return false;
}

// Shares every subdirectory below dir whose name does not begin with '.'. A directory
// reached again (through a link, say) is not entered twice, so a loop ends.
void shareSubdirectories(const i4_string& dir, std::set<std::string>& seen) {
    i4_dir_listing listing;
    if (!i4_list_directory(dir.c_str(), listing, false)) return;
    for (const i4_string& name : listing.dir_names) {
        if (name.c_str()[0] == '.') continue;
        i4_string path;
        path.format("%s%c%s", dir.c_str(), '/', name.c_str());
        i4_string real;
        i4_full_path(path.c_str(), real);
        if (!seen.insert(real.c_str()).second) continue;
        theTransferGateway.shareList.addDirectory(path.c_str(), true);
        shareSubdirectories(path, seen);
    }
}

}  // namespace

void ShareCommands::addDirectory(char* line) {
    i4_string dir;
    if (!typedDirectory(line, dir)) return;
    theTransferGateway.shareList.addDirectory(dir.c_str(), true);
    theTransferGateway.requestRescan();
}

void ShareCommands::addDirectoryTree(char* line) {
    i4_string dir;
    if (!typedDirectory(line, dir)) return;
    theTransferGateway.shareList.addDirectory(dir.c_str(), true);
    theTransferGateway.requestRescan();
    std::set<std::string> seen;
    i4_string real;
    i4_full_path(dir.c_str(), real);
    seen.insert(real.c_str());
    shareSubdirectories(dir, seen);
    std::vector<i4_string> dirs;
    theTransferGateway.getSharedDirectories(dirs);
    theTransferGateway.setSharedDirectories(dirs);
}

void ShareCommands::viewDirectories(char*) {
    beginPaging();
    std::vector<i4_string> dirs;
    theTransferGateway.getSharedDirectories(dirs);
    for (size_t i = 0; i < dirs.size(); ++i)
        theUI->printLine("(%d) %s", (int)i + 1, dirs[i].c_str());
}

void ShareCommands::viewFiles(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    if (given) {
        int n = atoi(given);
        printMetaInfo(n > 0 ? theTransferGateway.sharedList.getAt(n - 1) : nullptr);
        return;
    }
    beginPaging();
    printMetaList(&theTransferGateway.sharedList);
}

void ShareCommands::removeDirectory(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    int n = given ? atoi(given) : 0;
    if (n == 0) {
        printLocalized("invalidDirNum", "Invalid Directory number.");
        return;
    }
    std::vector<i4_string> dirs;
    theTransferGateway.getSharedDirectories(dirs);
    if (n > 0 && (size_t)n <= dirs.size()) dirs.erase(dirs.begin() + (n - 1));
    theTransferGateway.setSharedDirectories(dirs);
}

void ShareCommands::doorPort(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    int port = given ? atoi(given) : 0;
    // A port no socket can have shows the port in force instead.
    if (port <= 0 || port > 65535) {
        theUI->printLine("%d", theTransferOptions.getDoorPort());
        return;
    }
    theTransferGateway.setDoorPort(port);
    theUI->printLine("%s %u",
                     theXMLStringTable.localized("tcpPortChanged", "TCP port changed to").c_str(),
                     (unsigned)port);
}

void ShareCommands::tempDirectory(char* line) {
    const char* given = restOfLine(line);
    if (!given) {
        theUI->printLine("%s", theTransferOptions.getTemp().c_str());
        return;
    }
    if (!theTransferGateway.setTemp(given)) return;
    i4_string temp = theTransferOptions.getTemp();
    theUI->printLine("%s %s",
                     theXMLStringTable.localized("tempDirNow", "Temp directory is now:").c_str(),
                     temp.c_str());
    theMessageQ.post(MSG_LOAD_PARTIALS, std::make_unique<i4_string>(temp));
}

void ShareCommands::incomingDirectory(char* line) {
    const char* given = restOfLine(line);
    if (!given) {
        theUI->printLine("%s", theTransferOptions.getIncoming().c_str());
        return;
    }
    if (!theTransferGateway.setIncoming(given)) return;
    theUI->printLine(
        "%s %s",
        theXMLStringTable.localized("incomingDirNow", "Incoming directory is now:").c_str(), given);
}

void ShareCommands::freeSpace(char*) {
    const double MB = 1048576.0;
    double temp = (double)i4_free_space(theTransferOptions.getTemp().c_str()) / MB;
    double incoming = (double)i4_free_space(theTransferOptions.getIncoming().c_str()) / MB;
    theUI->printLine(
        "%s:     %.2fMB",
        theXMLStringTable.localized("freeTempPartition", "Space free on temp partion").c_str(),
        temp);
    theUI->printLine(
        "%s: %.2fMB",
        theXMLStringTable.localized("freeIncomingPartition", "Space free on incoming partion")
            .c_str(),
        incoming);
}

void ShareCommands::saveCorrupted(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    theTransferOptions.saveCor = given && given[0] == '-' ? 0 : 1;
    if (theTransferOptions.saveCor)
        printLocalized("saveCorrupted", "save corrupted");
    else
        printLocalized("doNotSaveCorrupted", "do not save corrupted");
}
