#include "core/UIMetaOutput.h"

#include <map>
#include <mutex>
#include <string>

#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/threads/linux/i4_lock.h"

UIMetaOutput theUIMetaOutput;

// Texts are handed on as "%s" arguments: a record's name is never a format.
void UIMetaOutput::printLine(const char* text) {
    theUI->printLine("%s", text);
}
void UIMetaOutput::print(const char* text) {
    theUI->print("%s", text);
}
void UIMetaOutput::debug(const char* text) {
    theUI->debug("%s", text);
}
void UIMetaOutput::printFlush(const char* text) {
    theUI->printFlush("%s", text);
}

const char* UIMetaOutput::localise(const char* key, const char* fallback) {
    if (!key) return fallback;
    for (int id = 1; id < XMLStringTable::SIZE; ++id) {
        const char* known = XMLStringTable::keyOf(id);
        if (known && i4_strcmp(known, key) == 0) return theXMLStringTable.get(id);
    }
    // A free key: the caller keeps the pointer, so each answer lives on here.
    static std::mutex lock;
    static std::map<std::string, i4_string> answers;
    i4_lock guard(&lock);
    auto found = answers.find(key);
    if (found == answers.end()) {
        i4_string label = theXMLStringTable.lookup(key);
        if (label.is_empty()) label = fallback;
        found = answers.emplace(key, label).first;
    }
    return found->second.c_str();
}
