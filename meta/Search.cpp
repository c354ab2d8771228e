#include "meta/Search.h"

#include "i4min/file/i4_file.h"
#include "meta/SN_Compound.h"
#include "meta/SN_MatchAll.h"
#include "meta/SearchNode.h"

Search::Search() : text(""), root(nullptr), kind(0) {}

Search::~Search() {
    delete root;
}

bool Search::toNetwork(i4_file& f) {
    return root && root->toNetwork(f);
}

bool Search::fromNetwork(i4_file& f) {
    clear();
    root = SearchNode::readNode(f);
    return root != nullptr;
}

int Search::size() {
    return root ? root->size() : 0;
}

void Search::addNode(SearchNode* node, int32_t op) {
    if (!node) return;
    root = root ? new SN_Compound(op, root, node) : node;
}

bool Search::matches(Meta* record) {
    return !root || root->matches(record);
}

void Search::clear() {
    delete root;
    root = nullptr;
    text = "";
}

void Search::toString(i4_string& buffer) {
    buffer.append("search( ");
    if (root) root->toText(buffer);
    buffer.append(" )");
}

const i4_string& Search::expandText() {
    if (text.is_empty()) {
        i4_string word("");
        if (root) root = root->expand(word);
        text = word;
        if (!root) root = new SN_MatchAll();
    }
    return text;
}
