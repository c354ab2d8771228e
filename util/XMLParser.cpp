#include "util/XMLParser.h"

#include <cstring>
#include <string>

#include "util/XMLNode.h"

namespace {

// Named references first, one after the other over the whole value (so
// "&amp;lt;" ends as "<"), then decimal character references.
void decodeEntities(i4_string& value) {
    static const char* const named[][2] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&apos;", "'"}, {"&quot;", "\""}};
    for (const auto& r : named) value.replace(r[0], r[1]);

    const char* v = value.c_str();
    if (!v || !strstr(v, "&#")) return;
    // Built in one pass: growing an i4_string a byte at a time would make a
    // long value cost its length squared.
    std::string out;
    size_t i = 0, n = strlen(v);
    out.reserve(n);
    while (i < n) {
        if (v[i] == '&' && i + 1 < n && v[i + 1] == '#') {
            size_t j = i + 2;
            unsigned code = 0;
            while (j < n && v[j] >= '0' && v[j] <= '9') code = code * 10 + (v[j++] - '0');
            // A 0 byte would end the text early; such a reference stays as written.
            if (j > i + 2 && j < n && v[j] == ';' && (code & 0xFF) != 0) {
                out += static_cast<char>(code & 0xFF);
                i = j + 1;
                continue;
            }
        }
        out += v[i];
        i++;
    }
    value.assign(out.c_str());
}

}  // namespace

XMLParser::XMLParser() : text(nullptr), length(0), pos(0), tokenStart(0), current(nullptr) {}

XMLParser::~XMLParser() {
    clear();
}

void XMLParser::clear() {
    // Each top-level element owns its subtree. Later top-level elements are
    // not reachable from the result but must not leak. Only the top-level
    // list is walked: inner elements may have been removed by the caller.
    while (XMLNode* root = static_cast<XMLNode*>(roots.removeAt(0))) delete root;
    elements.clear();
    current = nullptr;
}

XMLNode* XMLParser::parse(const char* t) {
    return parse(t, t ? strlen(t) : 0);
}

XMLNode* XMLParser::parse(const char* t, size_t len) {
    clear();
    if (!t) return nullptr;
    text = t;
    // A terminator ends the text wherever it stands.
    const void* nul = memchr(t, 0, len);
    length = nul ? static_cast<const char*>(nul) - t : len;
    pos = 0;
    while (parseStep()) {
    }
    text = nullptr;
    return static_cast<XMLNode*>(elements.get(0));
}

bool XMLParser::isBlank(size_t i) const {
    char c = text[i];
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

int XMLParser::parseStep() {
    if (pos >= length) return 0;
    while (pos < length && isBlank(pos)) pos++;
    if (pos >= length) return 0;
    tokenStart = pos;

    if (text[pos] != '<') {
        const void* lt = memchr(text + pos, '<', length - pos);
        size_t end = lt ? static_cast<const char*>(lt) - text : length;
        if (current) {
            scratch.assign("");
            scratch.append_n(text + tokenStart, static_cast<int>(end - tokenStart));
            current->setValue(scratch.c_str());
        }
        pos = end;
        return pos < length ? 1 : 0;
    }

    size_t after = pos + 1;
    if (after < length && text[after] == '!') {
        if (after + 2 < length && text[after + 1] == '-' && text[after + 2] == '-') {
            size_t i = after + 3;
            for (; i + 2 < length; i++)
                if (text[i] == '-' && text[i + 1] == '-' && text[i + 2] == '>') break;
            pos = i + 2 < length ? i + 3 : length;
            return 1;
        }
        return 0;
    }

    const void* gt = memchr(text + after, '>', length - after);
    size_t end = gt ? static_cast<const char*>(gt) - text : length;
    bool empty = end > after && text[end - 1] == '/';
    size_t contentsEnd = empty ? end - 1 : end;
    bool endTag = after < length && text[after] == '/';

    if (!endTag) {
        XMLNode* node = new XMLNode("", current);
        elements.append(node);
        if (!current) roots.append(node);
        current = node;
        parseTag(node, after, contentsEnd);
    }
    pos = end < length ? end + 1 : length;
    if (empty || endTag) {
        if (current) current = current->parent();
        return 1;
    }
    return pos < length ? 1 : 0;
}

void XMLParser::parseTag(XMLNode* node, size_t from, size_t to) {
    // Names end at any blank: a tag written over several lines or with tabs keeps its name
    // and its attributes.
    size_t i = from;
    while (i < to && !isBlank(i)) i++;
    scratch.assign("");
    scratch.append_n(text + from, static_cast<int>(i - from));
    node->setName(scratch.c_str());
    while (i < to && isBlank(i)) i++;

    node->clearAttrs();
    while (i < to) {
        size_t nameStart = i;
        while (i < to && !isBlank(i) && text[i] != '=') i++;
        i4_string name("");
        name.append_n(text + nameStart, static_cast<int>(i - nameStart));
        if (i >= to) return;  // a name without a value: the list ends here
        if (isBlank(i)) {
            while (i < to && isBlank(i)) i++;
            if (i < to && text[i] == '=') i++;
        } else {
            i++;  // '='
        }
        const void* open = memchr(text + i, '"', to - i);
        if (!open) return;  // no value: the list ends here
        size_t valueStart = static_cast<const char*>(open) - text + 1;
        const void* close = memchr(text + valueStart, '"', to - valueStart);
        if (!close) return;
        size_t valueEnd = static_cast<const char*>(close) - text;
        i4_string value("");
        value.append_n(text + valueStart, static_cast<int>(valueEnd - valueStart));
        decodeEntities(value);
        node->addAttr(name.c_str(), value.c_str());
        i = valueEnd + 1;
        while (i < to && isBlank(i)) i++;
    }
}
