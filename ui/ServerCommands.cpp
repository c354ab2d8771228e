#include "ui/ServerCommands.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <memory>

#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/UIGateway.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/MetaList.h"
#include "meta/MetaTag.h"
#include "meta/SN_Compound.h"
#include "meta/SN_FindStr.h"
#include "meta/SN_StrTagCompare.h"
#include "meta/Search.h"
#include "meta/SpecialTagInfo.h"
#include "net/IpPort.h"
#include "server/ExServer.h"
#include "server/MainServer.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"
#include "server/ServerSettings.h"
#include "server/ServerTexts.h"
#include "ui/CommandArgs.h"
#include "ui/ServerListFetch.h"
#include "util/LLView.h"

FileList* ServerCommands::results = nullptr;

namespace {

const int DEFAULT_PORT = 4661;
// Below this an id is a low id: the server cannot reach the client.
const uint32_t LOW_ID_LIMIT = 16777216;

// A number as the commands read one: its leading digits, 0 when there are none; a
// number too long for an int counts as none there is.
int leadingNumber(const char* text) {
    if (!text) return 0;
    long long v = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > INT_MAX) return 0;
    }
    return (int)v;
}

// "-" as the first argument switches off, anything else (or nothing) on.
void setFlag(char* line, std::atomic<int>& flag) {
    CommandArgs args(line);
    const char* given = args.next();
    flag = given && given[0] == '-' ? 0 : 1;
}

void invalidServerNumber() {
    theUI->printLine("Invalid server number\n");
}

ServerPool* pool() {
    return theServerGateway.pool();
}

// An address typed as four dotted numbers and nothing else: the text after them is a
// port the user meant, never one to drop.
bool onlyDottedAddress(const char* text) {
    int dots = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p < '0' || *p > '9')
            return false;
    }
    return dots == 3 && textToIP(text) != 0;
}

}  // namespace

void ServerCommands::addServer(char* line) {
    CommandArgs args(line);
    char* address = args.next();
    const char* portText = args.next();
    // "address:port" gives the port in the address; then no second port may follow.
    char* colon = address ? strchr(address, ':') : nullptr;
    bool portOk = true;
    if (colon) {
        *colon = 0;
        portOk = !portText;
        portText = colon + 1;
    }
    int port = DEFAULT_PORT;
    if (portText) portOk = portOk && CommandArgs::wholeNumber(portText, &port);
    uint32_t ip = address ? textToIP(address) : 0;
    if (!address || !onlyDottedAddress(address) || !portOk || port < 1 || port > 0xFFFF ||
        !pool()) {
        theUI->printLine("%s", serverText(TEXT_INVALID_ARGUMENTS));
        return;
    }
    pool()->addServer(ip, port);
    if (colon) *colon = ':';
    // The address as typed.
    theUI->printLine("%s %s\n", address, serverText(TEXT_ADDED));
}

void ServerCommands::viewServers(char*) {
    ServerPool* p = pool();
    if (!p) return;
    ExServerList& list = p->servers();
    {
        i4_lock hold(&list);
        if (ExServer* first = static_cast<ExServer*>(list.getList()->getAt(0))) {
            TagColumns columns;
            printTagHeader(first, columns);
            int i = 0;
            for (ExServer* s : LLView<ExServer>(list.getList())) {
                printTagRow(s, columns, i++);
                i4_string address;
                theUI->printLine("\t%s : %d", ipToText(s->ip, address), (int)s->port);
            }
            return;
        }
    }
    theUI->printLine("%s", serverText(TEXT_NONE));
}

void ServerCommands::extendSearch(char*) {
    if (!theServerGateway.extendSearch()) theUI->printLine("%s", serverText(TEXT_NO_SEARCH_EXTEND));
}

Search* ServerCommands::buildSearch(char* line) {
    CommandArgs args(line);
    i4_string words("");
    i4_string type;
    bool typed = false;
    for (int i = 0; i < MAX_TOKENS; ++i) {
        const char* token = args.next();
        if (!token) break;
        if (token[0] == '-') {
            type = token + 1;
            typed = true;
            continue;
        }
        i4_string word(token);
        if (word.length() > MAX_WORD) word.truncate(MAX_WORD);
        words.append(word);
        words.append(" ");
    }
    if (words.is_empty()) return nullptr;
    words.truncate(words.length() - 1);
    if (words.length() > MAX_SEARCH_TEXT) words.truncate(MAX_SEARCH_TEXT);
    Search* s = new Search();
    if (typed)
        s->addNode(
            new SN_StrTagCompare(SpecialTagInfo::get(SpecialTagInfo::TYPE)->tagName, type.c_str()),
            SN_Compound::AND);
    s->addNode(new SN_FindStr(words.c_str()), SN_Compound::AND);
    return s;
}

void ServerCommands::search(char* line) {
    Search* s = buildSearch(line);
    if (!s) {
        theUI->printLine("No search string.\n");
        return;
    }
    theServerGateway.newSearch(s);
}

void ServerCommands::autoConnect(char* line) {
    setFlag(line, theServerSettings.autoConnect);
}

void ServerCommands::reconnect(char* line) {
    setFlag(line, theServerSettings.recon);
}

void ServerCommands::autoRemove(char* line) {
    setFlag(line, theServerSettings.servRemove);
}

void ServerCommands::removeServer(char* line) {
    CommandArgs args(line);
    int n = leadingNumber(args.next());
    ServerPool* p = pool();
    bool found = false;
    uint32_t ip = 0;
    uint16_t port = 0;
    if (p && n > 0) {
        ExServerList& list = p->servers();
        i4_lock hold(&list);
        if (ExServer* s = list.atNoLock(n - 1)) {
            found = true;
            ip = s->ip;
            port = s->port;
        }
    }
    if (!found) {
        invalidServerNumber();
        return;
    }
    p->removeServer(ip, port);
    theUI->printLine("Server Removed.\n");
}

void ServerCommands::serverPassword(char* line) {
    CommandArgs args(line);
    int n = leadingNumber(args.next());
    const char* password = args.next();
    ServerPool* p = pool();
    bool set = false;
    if (p && n > 0 && password) {
        ExServerList& list = p->servers();
        i4_lock hold(&list);
        if (ExServer* s = list.atNoLock(n - 1)) {
            s->setTag(ServerMeta::PASSWORD, password, MetaTag::STRING);
            set = true;
        }
    }
    if (set)
        theUI->printLine("Password set.\n");
    else
        invalidServerNumber();
}

void ServerCommands::stopConnecting(char*) {
    if (ServerPool* p = pool()) p->stopConnecting();
}

void ServerCommands::connect(char* line) {
    CommandArgs args(line);
    const char* given = args.next();
    if (!given) {
        theMessageQ.post(MSG_SERVER_CONNECT);
        return;
    }
    int n = leadingNumber(given);
    if (n == 0) {
        invalidServerNumber();
        return;
    }
    ServerPool* p = pool();
    if (!p) return;
    std::unique_ptr<IpPort> target;
    ExServerList& list = p->servers();
    {
        i4_lock hold(&list);
        if (ExServer* s = list.atNoLock(n - 1)) target.reset(new IpPort(s->ip, s->port));
    }
    if (target) theMessageQ.post(MSG_SERVER_CONNECT, std::move(target));
}

void ServerCommands::disconnect(char*) {
    theMessageQ.post(MSG_SERVER_DISCONNECT);
}

void ServerCommands::getServerList(char* line) {
    CommandArgs args(line);
    const char* url = args.next();
    i4_string path;
    path.format("%s/%s", theCoreOptions.getBaseDir().c_str(), "tempServer.met");
    // The fetch runs on a thread of its own and says how it went.
    if (!url || !ServerListFetch::begin(url, path.c_str()))
        theUI->printLine("Problem getting list.");
}

void ServerCommands::serverStats(char*) {
    uint32_t id = theCoreOptions.getClientId();
    theUI->printLine(id >= LOW_ID_LIMIT ? "ClientID: %u (open)" : "ClientID: %u (firewalled)", id);
    MainServer* connection = pool() ? pool()->connection() : nullptr;
    if (!connection) {
        theUI->printLine("%s", serverText(TEXT_NOT_CONNECTED));
        return;
    }
    theUI->printLine("Connected to: %s", connection->getName());
    theUI->printLine("   Users: %d    Files: %d", (int)theServerGateway.serverUsers(),
                     (int)theServerGateway.serverFiles());
}

void ServerCommands::download(char* line) {
    CommandArgs args(line);
    int n = leadingNumber(args.next());
    FileMeta* chosen = n > 0 && results ? (FileMeta*)results->getAt(n - 1) : nullptr;
    if (!chosen) {
        theUI->printLine("Invalid Result number\n");
        return;
    }
    theMessageQ.post(MSG_START_DOWNLOAD, std::make_unique<FileMeta>(*chosen));
}
