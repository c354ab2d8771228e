#include "app/ConClientApp.h"

#include "app/GeneralCommands.h"
#include "ui/AdminCommands.h"
#include "ui/DownloadCommands.h"
#include "ui/FileLink.h"
#include "ui/FriendCommands.h"
#include "ui/PeerCommands.h"
#include "ui/ServerCommands.h"
#include "ui/SettingsCommands.h"
#include "ui/ShareCommands.h"
#include "ui/UploadCommands.h"

ConClientApp theConClientApp;

// The order is the one users and controllers know: keep it. A new command
// takes its own row (its handler in place of the null); a row left null reads
// as an unknown command, never as one that does nothing.
const ConClientApp::Entry ConClientApp::TABLE[] = {
    {"?", GeneralCommands::help},
    {"a", ShareCommands::addDirectory},
    {"a+", ShareCommands::addDirectoryTree},
    {"n", ServerCommands::addServer},
    {"q", GeneralCommands::quit},
    {"vr", GeneralCommands::viewResults},
    {"vm", ServerCommands::viewServers},
    {"vd", DownloadCommands::viewDownloads},
    {"vu", UploadCommands::viewUploads},
    {"vs", ShareCommands::viewDirectories},
    {"vf", ShareCommands::viewFiles},
    {"vp", PeerCommands::view},
    {"vq", UploadCommands::viewQueue},
    {"vpart", PeerCommands::partners},
    {"u", ShareCommands::removeDirectory},
    {"b", ServerCommands::removeServer},
    {"c", ServerCommands::connect},
    {"d", ServerCommands::download},
    {"m", DownloadCommands::changeDownload},
    {"s", ServerCommands::search},
    {"xs", ServerCommands::extendSearch},
    {"pass", AdminCommands::password},
    {"dumax", SettingsCommands::bandwidth},
    {"auto", ServerCommands::autoConnect},
    {"recon", ServerCommands::reconnect},
    {"name", SettingsCommands::name},
    {"verbose", SettingsCommands::verbose},
    {"port", ShareCommands::doorPort},
    {"aport", AdminCommands::adminPort},
    {"temp", ShareCommands::tempDirectory},
    {"in", ShareCommands::incomingDirectory},
    {"line", SettingsCommands::lineSpeed},
    {"vo", GeneralCommands::viewOptions},
    {"g", ServerCommands::serverStats},
    {"x", ServerCommands::disconnect},
    {"space", ShareCommands::freeSpace},
    {"lang", SettingsCommands::language},
    {"save", ShareCommands::saveCorrupted},
    {"asr", ServerCommands::autoRemove},
    {"mcon", SettingsCommands::maxConnections},
    {"lines", SettingsCommands::pageLines},
    {"dllink", FileLink::command},
    {"glist", ServerCommands::getServerList},
    {"sc", ServerCommands::stopConnecting},
    {"cps", GeneralCommands::partStyle},
    {"test", GeneralCommands::selfTest},
    {"master", GeneralCommands::master},
    {"spass", ServerCommands::serverPassword},
    {"gfr", FriendCommands::get},
    {"afr", FriendCommands::add},
    {"rfr", FriendCommands::remove},
};
const int ConClientApp::TABLE_SIZE = sizeof TABLE / sizeof TABLE[0];

ConClientApp::ConClientApp() {
    theServant = this;
    ServerCommands::results = &theSearchResults;
    for (const Entry& entry : TABLE)
        if (entry.handler) addCommand(new Command(entry.word, entry.handler));
}

ConClientApp::~ConClientApp() {
    if (ServerCommands::results == &theSearchResults) ServerCommands::results = nullptr;
    theSearchResults.deleteAll();
    if (theServant == this) theServant = 0;
}
