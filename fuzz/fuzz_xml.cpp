// layer: util
// The interface text file is read from disk: any bytes must give a tree or
// nothing, never a read past the given length.
#include <cstddef>
#include <cstdint>

#include "util/XMLAttr.h"
#include "util/XMLNode.h"
#include "util/XMLParser.h"

namespace {

void walk(XMLNode* node, int depth) {
    if (!node || depth > 64) return;
    i4_string out;
    xmlGetAttr(node, "id", out);
    node->findChild("string");
    for (int i = 0; XMLNode* child = node->childAt(i); i++) walk(child, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XMLParser parser;
    XMLNode* root = parser.parse(reinterpret_cast<const char*>(data), size);
    walk(root, 0);
    xmlFindPath(root, 2, "strings", "string");
    if (root) delete root->copy();
    return 0;
}
