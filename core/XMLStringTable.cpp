#include "core/XMLStringTable.h"

#include "util/XMLNode.h"

namespace {

struct BuiltIn {
    const char* key;
    const char* text;
};

// Index 0 is the empty entry; index SIZE marks the end of the table.
const BuiltIn kBuiltIn[XMLStringTable::SIZE + 1] = {
    {"", ""},                                                        // 0
    {"STRINGS_DL_STATUS_QUEUED", "Queued"},                          // 1
    {"STRINGS_DL_STATUS_LOOKING", "Looking..."},                     // 2
    {"STRINGS_DL_STATUS_DOWNLOADING", "Downloading"},                // 3
    {"STRINGS_DL_STATUS_PAUSED", "Paused"},                          // 4
    {"STRINGS_DL_STATUS_DISKFULL", "Insufficient Disk Space."},      // 5
    {"STRINGS_DL_STATUS_NOSOURCES", "No Sources"},                   // 6
    {"STRINGS_DL_STATUS_DONE", "Done"},                              // 7
    {"STRINGS_DL_STATUS_HASHING", "Hashing..."},                     // 8
    {"STRINGS_DL_STATUS_ERROR_LOADING", "Error loading."},           // 9
    {"STRINGS_DL_STATUS_COMPLETING", "Completing"},                  // 10
    {"STRINGS_DL_STATUS_COMPLETE", "Complete"},                      // 11
    {"STRINGS_DL_STATUS_CORRUPTED", "Corrupted"},                    // 12
    {"STRINGS_DL_STATUS_ERROR_HASHING", "Error hashing."},           // 13
    {"STRINGS_DL_STATUS_TRANSFERING", "Transferring."},              // 14
    {"STRINGS_ALREADY_DOWNLOADING", "You are already downloading"},  // 15
    {"STRINGS_DOWNLOADING", "Downloading"},                          // 16
    {"STRINGS_ALREADY_HAVE", "You already have"},                    // 17
    {"STRINGS_COULDNT_CREATE_TEMP_FILE",
     "Couldn't create temp file. Check temp directory in options."},  // 18
    {"STRINGS_CANT_CANCEL_HASH", "Can't cancel while hashing."},      // 19
    {"STRINGS_SETTINGS_NOT_SAVED", "Settings couldn't be saved"},     // 20
    {"STRINGS_NO_SEARCH_EXTEND", "No search to extend."},             // 21
    {"STRINGS_EXTENDING_TO", "Extending to:"},                        // 22
    {"STRINGS_SENDING_SEARCH", "Sending search."},                    // 23
    {"STRINGS_CANT_OPEN_PORT",
     "Can't Listen for connections. Please adjust your proxy settings in the options tab."},   // 24
    {"STRINGS_UNKNOWN_COMMAND", "Unrecognized command. type ? for help"},                      // 25
    {"STRINGS_NONE", "None."},                                                                 // 26
    {"STRINGS_ADDED", "added"},                                                                // 27
    {"STRINGS_INVALID_ARGUMENTS", "Invalid arguments"},                                        // 28
    {"STRINGS_CANT_CHANGE_TEMP", "Can't change temporary directory with pending downloads."},  // 29
    {"STRINGS_ASKING", "Asking"},                                                              // 30
    {"STRINGS_FOR_FILE_LIST", "for file list."},                                               // 31
    {"STRINGS_WAITING_CONNECTION", "Waiting for connection."},                                 // 32
    {"STRINGS_CANT_CONNECT_USER", "Can't connect to User."},                                   // 33
    {"STRINGS_LOADING_SHARED", "Loading shared files..."},                                     // 34
    {"STRINGS_COULDNT_HASH", "Couldn't hash"},                                                 // 35
    {"STRINGS_DONE_LOADING_SHARED", "Done loading shared files."},                             // 36
    {"STRINGS_PLACED_ON_Q", "Placed on connection Queue."},                                    // 37
    {"STRINGS_CORRUPTION_FOUND", "Corruption found in"},                                       // 38
    {"STRINGS_AT", "at"},                                                                      // 39
    {"STRINGS_CORRUPTED_DOWNLOAD", "Corrupted Download"},                                      // 40
    {"STRINGS_COULDNT_BE_MOVED", "could not be moved to"},                                     // 41
    {"STRINGS_COULDNT_LOAD_PARTS", "Couldn't load partials"},                                  // 42
    {"STRINGS_NOT_CONNECTED", "Not connected to a server."},                                   // 43
    {"STRINGS_ALREADY_TRYING_CONNECT", "Already trying to connect."},                          // 44
    {"STRINGS_ALREADY_CONNECTED_TO", "Already connected to that server."},                     // 45
    {"STRINGS_CANT_CONNECT_TO", "Can't connect to"},                                           // 46
    {"STRINGS_ALREADY_CONNECTED", "Already Connected."},                                       // 47
    {"STRINGS_CONNECTING_TO", "Connecting to"},                                                // 48
    {"STRINGS_ALREADY_TRYING_THIS_CONNECT", "Already trying to connect to that server."},      // 49
    {"STRINGS_NO_MORE_EXTEND", "No more servers to extend to."},                               // 50
    {"STRINGS_CONNECTIONS_FULL", "Connections Full."},                                         // 51
    {"STRINGS_NAME", "Name"},                                                                  // 52
    {"STRINGS_SIZE", "Size"},                                                                  // 53
    {"STRINGS_TYPE", "Type"},                                                                  // 54
    {"STRINGS_FORMAT", "Format"},                                                              // 55
    {"STRINGS_COLTYPE", "Collection Type"},                                                    // 56
    {"STRINGS_DESC", "Description"},                                                           // 57
    {"STRINGS_PORT", "Port"},                                                                  // 58
    {"STRINGS_IP", "IP"},                                                                      // 59
    {"STRINGS_VERSION", "Version"},                                                            // 60
    {"STRINGS_PRIORITY", "Priority"},                                                          // 61
    {"STRINGS_AVAILABILITY", "Availability"},                                                  // 62
    {"STRINGS_ASSIGNED_SLOT", "Assigned Slot:"},                                               // 63
    {"STRINGS_NUM_ON_Q", "Number on Queue:"},                                                  // 64
    {"STRINGS_CALLING", "Calling"},                                                            // 65
    {"STRINGS_PMSG_MAKING_CON", "Making Connection. Please wait..."},                          // 66
    {"STRINGS_PMSG_CANT_CON", "Can't connect to other user."},                                 // 67
    {"STRINGS_PMSG_STATENAME0", "Connected"},                                                  // 68
    {"STRINGS_PMSG_STATENAME1", "Waiting"},                                                    // 69
    {"STRINGS_PMSG_STATENAME2", "Routing"},                                                    // 70
    {"STRINGS_PMSG_STATENAME3", "Can't Connect"},                                              // 71
    {"STRINGS_ENTER_USER_IP", "Enter the users' IP that you want to add."},                    // 72
    {"STRINGS_ENTER_SERVER_IP", "Enter the server's IP that you want to add."},                // 73
    {"STRINGS_NO_RESULTS", "No search results found."},                                        // 74
    {"STRINGS_CANTSHARE", "You really shouldn't share that directory."},                       // 75
    {"STRINGS_SURE_CANCEL", "Are you sure you want to cancel"},                                // 76
    {"STRINGS_CONFIRM_CANCEL", "Confirm Cancel"},                                              // 77
    {"STRINGS_FSS_UNASKED", "Unasked"},                                                        // 78
    {"STRINGS_FSS_WAITCONNECTION", "Waiting for connection"},                                  // 79
    {"STRINGS_FSS_WAIT_CHUNKS_BQ", "Waiting for connection"},                                  // 80
    {"STRINGS_FSS_ONQUEUE", "Queue Place:"},                                                   // 81
    {"STRINGS_FSS_WAIT_CHUNKS", "Waiting for chunks"},                                         // 82
    {"STRINGS_FSS_TRANSFERRING", "Transferring"},                                              // 83
    {"STRINGS_FSS_BADSOURCE", "Bad Source"},                                                   // 84
    {"STRINGS_FSS_GONE", "Gone"},                                                              // 85
    {"STRINGS_FSS_NONEEDED", "No Needed Parts"},                                               // 86
    {"STRINGS_FSS_ASKING_PARTNER", "Asking Partner"},                                          // 87
    {"STRINGS_FSS_PARTNER", "Partner"},                                                        // 88
    {"STRINGTABLE_SIZE", nullptr},
};

}  // namespace

XMLStringTable theXMLStringTable;

XMLStringTable::XMLStringTable() : document(nullptr) {
    for (int i = 0; i < SIZE; i++) entries[i] = kBuiltIn[i].text;
}

XMLStringTable::~XMLStringTable() {}

const char* XMLStringTable::keyOf(int id) {
    return id >= 0 && id < SIZE ? kBuiltIn[id].key : nullptr;
}

const char* XMLStringTable::defaultText(int id) {
    return id >= 0 && id < SIZE ? kBuiltIn[id].text : nullptr;
}

bool XMLStringTable::findLabel(const char* key, i4_string& label) const {
    if (!document || !key) return false;
    // The reader takes an XML declaration for an element that holds the rest of
    // the document; look below it, or a ui.xml that starts with one is ignored.
    XMLNode* root = document;
    while (root && root->name().c_str() && root->name().c_str()[0] == '?') root = root->childAt(0);
    XMLNode* node = xmlFindPath(root, 2, "STRINGS", key);
    return node && xmlGetAttr(node, "label", label);
}

void XMLStringTable::load(XMLNode* doc) {
    document = doc;
    if (!document) return;
    for (int i = 0; i < SIZE; i++) {
        i4_string label;
        if (findLabel(kBuiltIn[i].key, label))
            entries[i] = label;
        else
            entries[i] = kBuiltIn[i].text;
    }
}

const char* XMLStringTable::get(int id) const {
    return id >= 1 && id < SIZE ? entries[id].c_str() : nullptr;
}

void XMLStringTable::localize(const char* key, i4_string& text) const {
    i4_string label;
    if (findLabel(key, label)) text = label;
}

i4_string XMLStringTable::localized(const char* key, const char* text) const {
    i4_string s(text);
    localize(key, s);
    return s;
}

i4_string XMLStringTable::lookup(const char* key) const {
    i4_string label;
    if (!findLabel(key, label)) label = "";
    return label;
}
