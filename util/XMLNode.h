// Threads: one at a time; a tree is read by the thread that parsed it or
// under its owner's lock.
#pragma once

#include "i4min/string/i4_string.h"
#include "util/LL.h"

class XMLAttr;

// An element: name, text content ("" when none), children and attributes in
// document order. It owns its children and attributes.
class XMLNode {
public:
    // Appended to the parent's children when the parent is not null.
    XMLNode(const char* name, XMLNode* parent);
    virtual ~XMLNode();

    const i4_string& name() const { return nodeName; }
    void setName(const char* name) { nodeName.assign(name); }
    const i4_string& value() const { return nodeValue; }
    void setValue(const char* value) { nodeValue.assign(value); }
    XMLNode* parent() const { return parentNode; }
    LL& children() { return childList; }
    LL& attributes() { return attrList; }

    // First child / attribute whose name equals the given one ignoring case.
    XMLNode* findChild(const char* name);
    XMLAttr* findAttr(const char* name);

    void addAttr(const char* name, const char* value);
    void clearAttrs();

    // A deep copy (attributes and children); it names the same parent but is
    // not among the parent's children.
    XMLNode* copy() const;
    XMLNode* childAt(int i);
    XMLAttr* attrAt(int i);
    // Takes the child out and deletes it; false when it is not a child.
    bool removeChild(XMLNode* child);
    // Number of ancestors.
    int depth() const;

private:
    // A copy of the name, value and attributes under the given parent.
    XMLNode* copyShallow(XMLNode* parent) const;

    XMLNode(const XMLNode&) = delete;
    XMLNode& operator=(const XMLNode&) = delete;

    i4_string nodeValue;
    i4_string nodeName;
    XMLNode* parentNode;
    LL childList;
    LL attrList;
};

// 1 with the attribute's value in out, or 0 with "" in out when the element
// is null or has no such attribute.
int xmlGetAttr(XMLNode* node, const char* name, i4_string& out);

// The element reached from node by findChild with each of the n names in
// turn (a null name is skipped); null when node is null or a step fails.
XMLNode* xmlFindPath(XMLNode* node, int n, ...);
