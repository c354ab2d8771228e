#include "core/StringTable.h"

#include <cstdio>

#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "meta/SpecialTagInfo.h"

StringTable theStringTable;
i4_string thePriorityNames[4];

namespace {

bool priorityNamesBuilt = false;

void buildPriorityNames() {
    static const char* const kKeys[4] = {"low", "normal", "high", "highest"};
    static const char* const kNames[4] = {"Low", "Normal", "High", "Highest"};
    for (int i = 0; i < 4; i++) {
        thePriorityNames[i] = kNames[i];
        theXMLStringTable.localize(kKeys[i], thePriorityNames[i]);
    }
}

// One line of at most max bytes; the rest of a longer line is skipped so that
// the following lines keep their numbers. False at the end of the file.
bool readLine(FILE* f, char* buf, int max) {
    int n = 0;
    int c;
    bool any = false;
    while ((c = getc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n < max) buf[n++] = (char)c;
    }
    buf[n] = 0;
    for (int i = 0; i < n; i++)
        if (buf[i] == '\r') {
            buf[i] = 0;
            break;
        }
    return any;
}

}  // namespace

StringTable::StringTable() {}

StringTable::~StringTable() {}

void StringTable::resize(int n) {
    entries.assign(n > 0 ? n : 0, i4_string());
}

void StringTable::set(int index, const char* text) {
    if (index >= 0 && index < getCount()) entries[index] = text;
}

const i4_string& StringTable::get(int index) const {
    static const i4_string kNone;
    return index >= 0 && index < getCount() ? entries[index] : kNone;
}

int StringTable::loadText(const char* fileName) {
    FILE* f = fileName ? fopen(fileName, "r") : nullptr;
    if (!f) return -1;
    char line[MAX_LINE + 1];
    int k = 0;
    while (readLine(f, line, MAX_LINE)) {
        set(k, line);
        k++;
    }
    fclose(f);
    return k;
}

void StringTable::setUp(const char* fileName) {
    resize(XMLStringTable::SIZE);
    for (int i = 1; i < XMLStringTable::SIZE; i++) set(i, XMLStringTable::defaultText(i));
    loadText(fileName);
    if (!priorityNamesBuilt) {
        priorityNamesBuilt = true;
        buildPriorityNames();
    }
}

void StringTable::copyUiStrings() {
    // Column titles: numbered text -> special tag.
    static const struct {
        int text;
        int tag;
    } kTitles[] = {{52, 1},  {53, 2},  {54, 3},  {55, 4},  {56, 5}, {57, 11},
                   {58, 15}, {59, 16}, {60, 17}, {61, 19}, {62, 21}};
    for (const auto& t : kTitles) {
        SpecialTagInfo* info = SpecialTagInfo::get(t.tag);
        if (info) info->displayName = theXMLStringTable.get(t.text);
    }
}

void StringTable::print() const {
    for (const i4_string& text : entries) theUI->printLine("%s", text.c_str());
}
