#include "app/ConClientApp.h"

#include "app/GeneralCommands.h"
#include "ui/PeerCommands.h"
#include "ui/SettingsCommands.h"
#include "ui/ShareCommands.h"

ConClientApp theConClientApp;

// The order is the one users and controllers know: keep it. A new command
// takes its own row (its handler in place of the null); a row left null reads
// as an unknown command, never as one that does nothing.
const ConClientApp::Entry ConClientApp::TABLE[] = {
    {"?", GeneralCommands::help},
    {"a", ShareCommands::addDirectory},
    {"a+", ShareCommands::addDirectoryTree},
    {"n", nullptr},
    {"q", GeneralCommands::quit},
    {"vr", GeneralCommands::viewResults},
    {"vm", nullptr},
    {"vd", nullptr},
    {"vu", nullptr},
    {"vs", ShareCommands::viewDirectories},
    {"vf", ShareCommands::viewFiles},
    {"vp", PeerCommands::view},
    {"vq", nullptr},
    {"vpart", nullptr},
    {"u", ShareCommands::removeDirectory},
    {"b", nullptr},
    {"c", nullptr},
    {"d", nullptr},
    {"m", nullptr},
    {"s", nullptr},
    {"xs", nullptr},
    {"pass", nullptr},
    {"dumax", SettingsCommands::bandwidth},
    {"auto", nullptr},
    {"recon", nullptr},
    {"name", SettingsCommands::name},
    {"verbose", SettingsCommands::verbose},
    {"port", ShareCommands::doorPort},
    {"aport", nullptr},
    {"temp", ShareCommands::tempDirectory},
    {"in", ShareCommands::incomingDirectory},
    {"line", SettingsCommands::lineSpeed},
    {"vo", GeneralCommands::viewOptions},
    {"g", nullptr},
    {"x", nullptr},
    {"space", ShareCommands::freeSpace},
    {"lang", SettingsCommands::language},
    {"save", ShareCommands::saveCorrupted},
    {"asr", nullptr},
    {"mcon", SettingsCommands::maxConnections},
    {"lines", SettingsCommands::pageLines},
    {"dllink", nullptr},
    {"glist", nullptr},
    {"sc", nullptr},
    {"cps", GeneralCommands::partStyle},
    {"test", GeneralCommands::selfTest},
    {"master", GeneralCommands::master},
    {"spass", nullptr},
    {"gfr", nullptr},
    {"afr", nullptr},
    {"rfr", nullptr},
};
const int ConClientApp::TABLE_SIZE = sizeof TABLE / sizeof TABLE[0];

ConClientApp::ConClientApp() {
    theServant = this;
    for (const Entry& entry : TABLE)
        if (entry.handler) addCommand(new Command(entry.word, entry.handler));
}

ConClientApp::~ConClientApp() {
    theSearchResults.deleteAll();
    if (theServant == this) theServant = 0;
}
