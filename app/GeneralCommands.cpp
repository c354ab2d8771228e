#include "app/GeneralCommands.h"

#include "app/ConClientApp.h"
#include "app/selftest/TestMaster.h"
#include "app/selftest/TransferTest.h"
#include "core/CoreOptions.h"
#include "core/UIGateway.h"
#include "i4min/string/i4_string.h"
#include "meta/MetaList.h"
#include "server/ServerSettings.h"
#include "transfer/share/TransferOptions.h"
#include "ui/AdminSettings.h"
#include "ui/CommandArgs.h"

namespace {

// The help listing, line by line.
const char* const kHelpLines[] = {
    "Commands: (optional arguments)",
    "add new server: n servername",
    "\tExample: n 192.0.2.10",
    "b # : remove server",
    "\tExample: b 2",
    "connect: c (#) [# is the number displayed in the server view]",
    "\tExample: c",
    "\tExample: c 2",
    "search: s searchstring (-searchtype[Audio, Video, Image, Pro, Doc, Col ])",
    "\tExample: s fat day -Audio",
    "view results: vr",
    "extend search: xs",
    "space: show space available and the amount of space needed by downloads",
    "download: d # ",
    "\tExample: d 5",
    "view downloads: vd",
    "change download: m # [option] [# is the number displayed in the download view]",
    "\toptions: c -cancel the download",
    "\toptions: p -pause the download",
    "\toptions: r -resume the download",
    "\toptions: l -change download priority to low",
    "\toptions: n -change download priority to normal",
    "\toptions: h -change download priority to high",
    "\toptions: v -view the details of the download",
    "g\t\t: get server stats",
    "name [desired name]\t: change your user name",
    "temp [dirname]\t: sets the temp directory.",
    "in [dirname]\t: sets the incoming directory.",
    "lang [string table name]\t: changes the string table used.",
    "dumax # #\t: sets the maximum download and upload bandwidth.(in KB/sec)",
    "line #\t: Sets the maximum possible download speed of your line.(in KB/sec)",
    "auto (-)\t: sets auto connect on or off(-).",
    "save (-)\t: sets 'save corrupted complete downloads' on or off(-).",
    "asr (-)\t: sets 'automatically remove dead servers' on or off(-).",
    "mcon #\t: sets max. number of connections from peers allowed to your machine.",
    "dllink\t: starts a download from an tnv4-link - usage:",
    "dllink tnv4://|file|<filename>|<size in bytes>|<hash>|",
    "glist [url]\t: updates the server list from a URL",
    "pass (name password)\t: sets the name and password to allow a remote controller",
    "\t\t\t of this client. If name ans password are left blank then the username",
    "\t\t\t and password are cleared and no remote control is allowed.",
    "\tExample: pass zet quimbal",
    "verbose (-)\t: sets debugging messages on or off(-).",
    "port #\t: sets the port that you listen for other clients on. Takes effect upon restart.",
    "aport #\t: sets the port that you listen for controllers on. Takes effect upon restart.",
    "vo\tview options",
    "vu\tView Uploads",
    "vq\tView Upload Queue",
    "vm\tview servers",
    "vf\tview shared files",
    "vs\tview shared directories",
    "vp\tview connections to other clients",
    "a dirname\t:add shared directory.",
    "\tExample: a usr/movies",
    "a+ dirname\t:add shared directory include subdirectories",
    "\tExample: a+ c:\\program files",
    "unshared directory: u # ",
    "\tExample: u 7",
    "disconnect: x",
    "quit: q",
    "\nhttps://tornavel.example.org/",
};

// One line of "vo": its text made from the setting it shows.
typedef i4_string (*OptionLine)();

i4_string nameLine() {
    return i4_string().format("Name:\t\t\t%s", theCoreOptions.getUserName().c_str());
}
i4_string adminNameLine() {
    return i4_string().format("AdminName:\t\t%s", theAdminSettings.getName().c_str());
}
i4_string adminPassLine() {
    return i4_string().format("AdminPass:\t\t%s", theAdminSettings.getPass().c_str());
}
i4_string adminPortLine() {
    return i4_string().format("AdminPort:\t\t%d", theAdminSettings.getDoorPort());
}
i4_string maxDownloadLine() {
    return i4_string().format("Max Download Speed:\t%.2f", theCoreOptions.getMaxDownload());
}
i4_string maxUploadLine() {
    return i4_string().format("Max Upload Speed:\t%.2f", theCoreOptions.getMaxUpload());
}
i4_string lineSpeedLine() {
    return i4_string().format("Line Speed Down:\t%.2f", theCoreOptions.lineDown);
}
i4_string doorPortLine() {
    return i4_string().format("Door Port:\t\t%d", theTransferOptions.getDoorPort());
}
i4_string autoConnectLine() {
    return i4_string().format("AutoConnect:\t\t%d", theServerSettings.autoConnect.load());
}
i4_string autoReconnectLine() {
    return i4_string().format("AutoReconnect:\t\t%d", theServerSettings.recon.load());
}
i4_string verboseLine() {
    return i4_string().format("Verbose:\t\t%d", theUI->isVerbose() ? 1 : 0);
}
i4_string saveCorruptedLine() {
    return i4_string().format("SaveCorrupted:\t\t%d", theTransferOptions.saveCor);
}
i4_string autoServerRemoveLine() {
    return i4_string().format("AutoServerRemove:\t%d", theServerSettings.servRemove.load());
}
i4_string maxConnectionsLine() {
    return i4_string().format("MaxConnections:\t\t%d", theCoreOptions.maxCon);
}
i4_string screenLinesLine() {
    return i4_string().format("ScreenLines:\t\t%d", theServant->getPager().getLines());
}

// Every line of "vo" in the order shown. A line whose side is not built yet has
// no maker and is left out; that side puts its maker in its row.
const struct {
    const char* setting;
    OptionLine make;
} kOptionLines[] = {
    {"Name", nameLine},
    {"AdminName", adminNameLine},
    {"AdminPass", adminPassLine},
    {"AdminPort", adminPortLine},
    {"Max Download Speed", maxDownloadLine},
    {"Max Upload Speed", maxUploadLine},
    {"Line Speed Down", lineSpeedLine},
    {"Door Port", doorPortLine},
    {"AutoConnect", autoConnectLine},
    {"AutoReconnect", autoReconnectLine},
    {"Verbose", verboseLine},
    {"SaveCorrupted", saveCorruptedLine},
    {"AutoServerRemove", autoServerRemoveLine},
    {"MaxConnections", maxConnectionsLine},
    {"ScreenLines", screenLinesLine},
};

}  // namespace

void GeneralCommands::help(char*) {
    theServant->getPager().begin();
    for (const char* text : kHelpLines) theUI->printLine("%s", text);
}

void GeneralCommands::quit(char*) {
    theServant->quit();
}

void GeneralCommands::viewResults(char*) {
    printMetaList(&theConClientApp.theSearchResults);
}

void GeneralCommands::viewOptions(char*) {
    for (const auto& option : kOptionLines)
        if (option.make) theUI->printLine("%s", option.make().c_str());
}

void GeneralCommands::partStyle(char* line) {
    CommandArgs args(line);
    theCoreOptions.partstyle = args.next() != nullptr;
}

void GeneralCommands::selfTest(char*) {
    TestMaster master;
    master.addAll();
    master.addTest(new TransferTest);
    master.runAll();
}

void GeneralCommands::master(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    bool on = !(given && given[0] == '-');
    theServant->setMasterMode(on);
    theUI->printLine(on ? "Master mode on." : "Master mode off.");
}
