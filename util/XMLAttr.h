// Threads: one at a time; an attribute belongs to its element's tree.
#pragma once

#include "i4min/string/i4_string.h"

class XMLNode;

// One attribute of an element; the value has its entity references decoded.
class XMLAttr {
public:
    XMLAttr(const char* name, const char* value, XMLNode* owner)
        : attrName(name), attrValue(value), attrOwner(owner) {}
    virtual ~XMLAttr() {}

    const i4_string& name() const { return attrName; }
    const i4_string& value() const { return attrValue; }
    XMLNode* owner() const { return attrOwner; }

private:
    i4_string attrName;
    i4_string attrValue;
    XMLNode* attrOwner;
};
