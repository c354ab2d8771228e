#include "server/ServerMeta.h"

#include <string.h>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_file.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "net/IpPort.h"
#include "util/LLView.h"

const char* const ServerMeta::USERS = "users";
const char* const ServerMeta::FILES = "files";
const char* const ServerMeta::PASSWORD = "password";

namespace {
const int WIRE_PREFIX = 16;
const int32_t NEVER_ANSWERED = 2;
}  // namespace

ServerMeta::ServerMeta() : ServerMeta(0, 0) {}

ServerMeta::ServerMeta(uint32_t ipAddr, uint16_t portNo)
    : ping(1), history(0), pref(0), priority(0), ip(ipAddr), port(portNo), age(0) {}

ServerMeta::~ServerMeta() {}

void ServerMeta::copy(ServerMeta* other) {
    if (!other || other == this) return;
    Meta::copyFrom(other);
    ping = other->ping;
    history = other->history;
    pref = other->pref;
    priority = other->priority;
    age = other->age;
    ip = other->ip;
    port = other->port;
}

bool ServerMeta::toBytes(i4_file& f) {
    setSpecialTag(SpecialTagInfo::HISTORY, &history);
    return checked([&] {
        i4_field_writer out(f);
        out.u32(ip);
        out.u16(port);
        return Meta::toBytes(f);
    });
}

bool ServerMeta::toNetwork(i4_file& f) {
    static const uint8_t zeros[WIRE_PREFIX] = {0};
    return checked([&] {
        i4_field_writer out(f);
        out.bytes(zeros, WIRE_PREFIX);
        out.u32(ip);
        out.u16(port);
        return Meta::toNetwork(f);
    });
}

bool ServerMeta::fromDisk(i4_file& f) {
    return readAddressAndTags(f, false);
}

bool ServerMeta::fromNetwork(i4_file& f) {
    return readAddressAndTags(f, true);
}

bool ServerMeta::readAddressAndTags(i4_file& f, bool fromWire) {
    bool ok = checked([&] {
        i4_field_reader in(f);
        if (fromWire) in.skip(WIRE_PREFIX);
        ip = in.u32();
        port = in.u16();
        return fromWire ? Meta::fromNetwork(f) : Meta::fromDisk(f);
    });
    if (ok) applyTags();
    return ok;
}

int ServerMeta::size() {
    return Meta::size() + 22;
}

int32_t ServerMeta::normalPreference(int32_t value) {
    return value == PREF_LOW || value == PREF_HIGH ? value : PREF_NORMAL;
}

void ServerMeta::setPing(int32_t ms) {
    if (ms != 0) {
        history = 0;
        setSpecialTag(SpecialTagInfo::HISTORY, &history);
    }
    ping = ms;
    computePriority();
    setSpecialTag(SpecialTagInfo::PING, &ping);
}

void ServerMeta::setPreference(int32_t value) {
    pref = normalPreference(value);
    setSpecialTag(SpecialTagInfo::PREF, &pref);
    computePriority();
}

void ServerMeta::setUsersFiles(uint32_t users, uint32_t files) {
    int32_t u = (int32_t)users;
    int32_t n = (int32_t)files;
    setTag(USERS, &u, MetaTag::INT);
    setTag(FILES, &n, MetaTag::INT);
}

void ServerMeta::applyTags() {
    // A stored preference outside the three choices would scale the priority past 32 bits.
    pref = normalPreference(getSpecialInt(SpecialTagInfo::PREF));
    history = getSpecialInt(SpecialTagInfo::HISTORY);
    int32_t zero = 0;
    setSpecialTag(SpecialTagInfo::PING, &zero);
    setTag(USERS, &zero, MetaTag::INT);
    setTag(FILES, &zero, MetaTag::INT);
    computePriority();
}

void ServerMeta::computePriority() {
    int64_t base = pref == PREF_NORMAL ? 2000000
                   : pref == PREF_LOW  ? 1000000
                                       : (int64_t)pref * 3000000;
    if (ping < NEVER_ANSWERED) {
        priority = 0;
        return;
    }
    int64_t p = base - ping + 100000;
    priority = p < INT32_MIN ? INT32_MIN : (int32_t)p;
}

bool ServerMeta::isOwnTag(MetaTag* tag) {
    const char* name = tag->getStoredName();
    if (!name) return false;
    static const int own[] = {SpecialTagInfo::PING, SpecialTagInfo::HISTORY, SpecialTagInfo::PREF};
    for (int id : own)
        if (i4_strcmp(name, SpecialTagInfo::get(id)->tagName) == 0) return true;
    return i4_strcmp(name, USERS) == 0 || i4_strcmp(name, FILES) == 0 ||
           i4_strcmp(name, PASSWORD) == 0;
}

void ServerMeta::takeAnnouncedTags(ServerMeta* announced) {
    if (!announced || announced == this) return;
    LL kept;
    for (MetaTag* tag : LLView<MetaTag>(tags))
        if (isOwnTag(tag)) kept.append(tag->clone());
    clearTags();
    for (MetaTag* tag : LLView<MetaTag>(announced->getTags()))
        if (!isOwnTag(tag)) tags.append(tag->clone());
    while (MetaTag* tag = (MetaTag*)kept.removeAt(0)) tags.append(tag);
}

bool ServerMeta::isSameAddress(ServerMeta* other) {
    return other && ip != 0 && ip == other->ip && port == other->port;
}

bool ServerMeta::setAddress(const char* dotted, uint16_t portNo) {
    port = portNo;
    uint32_t parsed = textToIP(dotted);
    if (!parsed) return false;
    ip = parsed;
    return true;
}

const char* ServerMeta::displayName(i4_string& out) {
    MetaTag* tag = findTag(SpecialTagInfo::get(SpecialTagInfo::NAME)->tagName);
    const char* name =
        tag && tag->getType() == MetaTag::STRING ? (const char*)tag->getValue() : nullptr;
    if (name && *name)
        out = name;
    else
        ipToText(ip, out);
    return out.c_str();
}

bool ServerMeta::priorityGreater(ServerMeta* a, ServerMeta* b) {
    return a && b && a->priority > b->priority;
}

bool ServerMeta::comparePriority(void* a, void* b) {
    ServerMeta* x = static_cast<ServerMeta*>(a);
    ServerMeta* y = static_cast<ServerMeta*>(b);
    if (!x) return false;
    if (!y) return true;
    return x->priority > y->priority;
}
