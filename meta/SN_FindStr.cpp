#include "meta/SN_FindStr.h"

#include <stddef.h>
#include <vector>

#include "i4min/file/i4_file.h"
#include "meta/Meta.h"
#include "meta/MetaTag.h"
#include "meta/SN_Compound.h"
#include "util/LL.h"
#include "util/LLView.h"

SN_FindStr::SN_FindStr() : SearchNode(FIND_STR), text("") {}

SN_FindStr::SN_FindStr(const char* value) : SearchNode(FIND_STR), text(value ? value : "") {
    text.to_lower();
}

SN_FindStr::~SN_FindStr() {}

SearchNode* SN_FindStr::clone() const {
    SN_FindStr* copy = new SN_FindStr();
    copy->text = text;
    return copy;
}

bool SN_FindStr::anyTextTagContains(Meta* record, const char* pattern) {
    if (!record) return false;
    for (MetaTag* tag : LLView<MetaTag>(record->getTags())) {
        if (tag->getType() == MetaTag::STRING &&
            containsLower((const char*)tag->getValue(), pattern))
            return true;
    }
    return false;
}

bool SN_FindStr::matches(Meta* record) {
    return anyTextTagContains(record, text.c_str());
}

SearchNode* SN_FindStr::expand(i4_string& word) {
    std::vector<i4_string> words;
    const char* p = text.c_str() ? text.c_str() : "";
    while (*p) {
        while (*p == ' ') p++;
        const char* start = p;
        while (*p && *p != ' ') p++;
        if (p > start) {
            int n = (int)(p - start) < MAX_WORD ? (int)(p - start) : MAX_WORD;
            i4_string w("");
            w.append_n(start, n);
            words.push_back(w);
        }
    }
    SearchNode* rest = nullptr;
    if (!words.empty()) {
        word = words[0];
        for (size_t i = 1; i < words.size(); i++) {
            SN_FindStr* node = new SN_FindStr();
            node->text = words[i];
            rest = rest ? static_cast<SearchNode*>(new SN_Compound(SN_Compound::AND, rest, node))
                        : node;
        }
    }
    delete this;
    return rest;
}

bool SN_FindStr::toNetwork(i4_file& f) {
    return f.write_8(FIND_STR) == 1 && writeText(f, text);
}

bool SN_FindStr::fromNetwork(i4_file& f) {
    if (!readText(f, MAX_TEXT, text)) return false;
    text.to_lower();
    return true;
}

int SN_FindStr::size() {
    return 1 + textSize(text);
}

void SN_FindStr::setValue(const void* value) {
    text = (const char*)value;
}

int SN_FindStr::weight() {
    return 10;
}

void SN_FindStr::toText(i4_string& buffer) {
    buffer.append(text);
}
