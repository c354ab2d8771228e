#include "meta/SearchNode.h"

#include <algorithm>
#include <string>

#include "i4min/file/i4_file.h"
#include "meta/Meta.h"
#include "meta/MetaTag.h"
#include "meta/SN_Compound.h"
#include "meta/SN_FindStr.h"
#include "meta/SN_IntTagCompare.h"
#include "meta/SN_MatchAll.h"
#include "meta/SN_StrTagCompare.h"
#include "util/LL.h"

SearchNode::SearchNode(int32_t kind) : kind(kind) {}

SearchNode::~SearchNode() {}

SearchNode* SearchNode::expand(i4_string&) {
    return this;
}

void SearchNode::setValue(const void*) {}

SearchNode* SearchNode::readNode(i4_file& f) {
    return readNode(f, 1);
}

SearchNode* SearchNode::readNode(i4_file& f, int level) {
    if (level > MAX_DEPTH) return nullptr;
    uint8_t kindByte;
    if (f.read(&kindByte, 1) != 1) return nullptr;
    if (kindByte == COMPOUND) {
        SN_Compound* node = new SN_Compound();
        if (node->readBody(f, level)) return node;
        delete node;
        return nullptr;
    }
    SearchNode* node;
    switch (kindByte) {
    case FIND_STR:
        node = new SN_FindStr();
        break;
    case STR_TAG_COMPARE:
        node = new SN_StrTagCompare();
        break;
    case INT_TAG_COMPARE:
        node = new SN_IntTagCompare();
        break;
    case MATCH_ALL:
        node = new SN_MatchAll();
        break;
    default:
        return nullptr;
    }
    if (node->fromNetwork(f)) return node;
    delete node;
    return nullptr;
}

bool SearchNode::containsLower(const char* text, const char* pattern) {
    if (!text || !*text) return false;
    return i4_strstr_lower(text, pattern ? pattern : "") != nullptr;
}

MetaTag* SearchNode::nextTag(Meta* record, LLNode** cursor, uint32_t type, const char* name) {
    if (!record) return nullptr;
    while (MetaTag* tag = (MetaTag*)LL::next(record->getTags(), cursor)) {
        if (tag->getType() == type && i4_strcmp(tag->getStoredName(), name) == 0) return tag;
    }
    return nullptr;
}

bool SearchNode::readText(i4_file& f, int max, i4_string& out) {
    uint8_t lengthBytes[2];
    if (f.read(lengthBytes, 2) != 2) return false;
    int length = lengthBytes[0] | (lengthBytes[1] << 8);
    if (length == 0xFFFF) return false;
    // The length is untrusted: read in small steps so that a short input fails
    // before anything large is allocated.
    std::string kept;
    char chunk[256];
    int done = 0;
    while (done < length) {
        int32_t want = length - done < (int)sizeof chunk ? length - done : (int32_t)sizeof chunk;
        if (f.read(chunk, want) != want) return false;
        if ((int)kept.size() < max) kept.append(chunk, std::min<size_t>(want, max - kept.size()));
        done += want;
    }
    // A zero byte ends the text, as it would in any stored text.
    out = kept.c_str();
    return true;
}

bool SearchNode::writeText(i4_file& f, const i4_string& text) {
    int length = text.length();
    if (length >= 0xFFFF) return false;
    if (f.write_16((uint16_t)length) != 2) return false;
    return length == 0 || f.write(text.c_str(), length) == length;
}

int SearchNode::textSize(const i4_string& text) {
    return 2 + text.length();
}
