#include "util/XMLNode.h"

#include <cstdarg>
#include <utility>
#include <vector>

#include "util/LLView.h"
#include "util/XMLAttr.h"

XMLNode::XMLNode(const char* name, XMLNode* parent)
    : nodeValue(""), nodeName(name), parentNode(parent) {
    if (parent) parent->childList.append(this);
}

XMLNode::~XMLNode() {
    clearAttrs();
    // Without recursion: a file of deeply nested elements must not exhaust
    // the stack. Each node is emptied of its children before it is deleted.
    std::vector<XMLNode*> doomed;
    while (XMLNode* child = static_cast<XMLNode*>(childList.removeAt(0))) doomed.push_back(child);
    while (!doomed.empty()) {
        XMLNode* node = doomed.back();
        doomed.pop_back();
        while (XMLNode* c = static_cast<XMLNode*>(node->childList.removeAt(0))) doomed.push_back(c);
        delete node;
    }
}

XMLNode* XMLNode::findChild(const char* name) {
    for (XMLNode* child : LLView<XMLNode>(childList))
        if (i4_stricmp(child->nodeName.c_str(), name) == 0) return child;
    return nullptr;
}

XMLAttr* XMLNode::findAttr(const char* name) {
    for (XMLAttr* attr : LLView<XMLAttr>(attrList))
        if (i4_stricmp(attr->name().c_str(), name) == 0) return attr;
    return nullptr;
}

void XMLNode::addAttr(const char* name, const char* value) {
    attrList.append(new XMLAttr(name, value, this));
}

void XMLNode::clearAttrs() {
    while (XMLAttr* attr = static_cast<XMLAttr*>(attrList.removeAt(0))) delete attr;
}

XMLNode* XMLNode::copyShallow(XMLNode* parent) const {
    XMLNode* out = new XMLNode(nodeName.c_str(), parent);
    out->nodeValue.assign(nodeValue);
    for (XMLAttr* attr : LLView<XMLAttr>(attrList))
        out->addAttr(attr->name().c_str(), attr->value().c_str());
    return out;
}

XMLNode* XMLNode::copy() const {
    XMLNode* top = copyShallow(nullptr);
    top->parentNode = parentNode;
    // Pairs of (original, its copy) whose children are still to be copied.
    std::vector<std::pair<const XMLNode*, XMLNode*>> todo{{this, top}};
    while (!todo.empty()) {
        auto [from, to] = todo.back();
        todo.pop_back();
        for (XMLNode* child : LLView<XMLNode>(&from->childList))
            todo.push_back({child, child->copyShallow(to)});
    }
    return top;
}

XMLNode* XMLNode::childAt(int i) {
    return static_cast<XMLNode*>(childList.get(i));
}

XMLAttr* XMLNode::attrAt(int i) {
    return static_cast<XMLAttr*>(attrList.get(i));
}

bool XMLNode::removeChild(XMLNode* child) {
    if (!child || !childList.remove(child)) return false;
    delete child;
    return true;
}

int XMLNode::depth() const {
    int d = 0;
    for (XMLNode* p = parentNode; p; p = p->parentNode) d++;
    return d;
}

int xmlGetAttr(XMLNode* node, const char* name, i4_string& out) {
    XMLAttr* attr = node ? node->findAttr(name) : nullptr;
    out.assign(attr ? attr->value().c_str() : "");
    return attr ? 1 : 0;
}

XMLNode* xmlFindPath(XMLNode* node, int n, ...) {
    va_list ap;
    va_start(ap, n);
    for (int i = 0; i < n && node; i++) {
        const char* name = va_arg(ap, const char*);
        if (name) node = node->findChild(name);
    }
    va_end(ap);
    return node;
}
