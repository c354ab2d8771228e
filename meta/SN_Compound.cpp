#include "meta/SN_Compound.h"

#include <string>
#include <vector>

#include "i4min/file/i4_file.h"
#include "meta/MetaOutput.h"

namespace {

SN_Compound* asCompound(SearchNode* node) {
    return node && node->getKind() == SearchNode::COMPOUND ? static_cast<SN_Compound*>(node)
                                                           : nullptr;
}

bool knownOperator(int32_t op) {
    return op >= SN_Compound::AND && op <= SN_Compound::NOT_AND;
}

// Whether the left result alone decides the node; the decided value in *result.
bool decidedByLeft(int32_t op, bool left, bool* result) {
    switch (op) {
    case SN_Compound::AND:
    case SN_Compound::AND_NOT:
        if (!left) {
            *result = false;
            return true;
        }
        return false;
    case SN_Compound::OR:
        if (left) {
            *result = true;
            return true;
        }
        return false;
    case SN_Compound::NOT_AND:
        if (left) {
            *result = false;
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool combine(int32_t op, bool left, bool right) {
    switch (op) {
    case SN_Compound::AND_NOT:
        return left && !right;
    case SN_Compound::XOR:
        return left != right;
    case SN_Compound::NOT_AND:
        return !left && right;
    default:  // AND and OR reach here only when the right side decides
        return right;
    }
}

}  // namespace

SN_Compound::SN_Compound() : SearchNode(COMPOUND), op(AND), left(nullptr), right(nullptr) {}

SN_Compound::SN_Compound(int32_t op, SearchNode* left, SearchNode* right)
    : SearchNode(COMPOUND), op(op), left(left), right(right) {}

SN_Compound::~SN_Compound() {
    // Children are taken off before they are deleted, so no destructor below
    // this one walks further than its own node.
    std::vector<SearchNode*> pending;
    if (left) pending.push_back(left);
    if (right) pending.push_back(right);
    left = right = nullptr;
    while (!pending.empty()) {
        SearchNode* node = pending.back();
        pending.pop_back();
        if (SN_Compound* c = asCompound(node)) {
            if (c->left) pending.push_back(c->left);
            if (c->right) pending.push_back(c->right);
            c->left = c->right = nullptr;
        }
        delete node;
    }
}

SearchNode* SN_Compound::clone() const {
    SearchNode* copy = nullptr;
    std::vector<std::pair<const SearchNode*, SearchNode**>> pending;
    pending.push_back({this, &copy});
    while (!pending.empty()) {
        const SearchNode* from = pending.back().first;
        SearchNode** to = pending.back().second;
        pending.pop_back();
        if (!from) continue;
        if (from->getKind() != COMPOUND) {
            *to = from->clone();
            continue;
        }
        const SN_Compound* c = static_cast<const SN_Compound*>(from);
        SN_Compound* made = new SN_Compound(c->op, nullptr, nullptr);
        *to = made;
        pending.push_back({c->right, &made->right});
        pending.push_back({c->left, &made->left});
    }
    return copy;
}

bool SN_Compound::matches(Meta* record) {
    struct Frame {
        SN_Compound* node;
        bool leftDone;
        bool leftValue;
    };
    std::vector<Frame> stack;
    SearchNode* next = this;
    bool result = false;
    for (;;) {
        // Down the left side until a node gives a value of its own.
        while (SN_Compound* c = asCompound(next)) {
            if (!knownOperator(c->op)) {
                metaPrint("%s", "Unknown Operation in Search");
                next = nullptr;
                break;
            }
            stack.push_back({c, false, false});
            next = c->left;
        }
        result = next ? next->matches(record) : false;
        next = nullptr;
        // Up until some node still needs its right side.
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (!top.leftDone) {
                top.leftDone = true;
                top.leftValue = result;
                bool decided;
                if (decidedByLeft(top.node->op, result, &decided)) {
                    result = decided;
                    stack.pop_back();
                    continue;
                }
                next = top.node->right;
                break;
            }
            result = combine(top.node->op, top.leftValue, result);
            stack.pop_back();
        }
        // Only a node waiting for its right side breaks out early; a missing
        // right child then counts as a failed match on the next round.
        if (stack.empty()) return result;
    }
}

SearchNode* SN_Compound::expand(i4_string& word) {
    if (op != AND) return this;
    if (left) left = left->expand(word);
    if (word.is_empty() && right) right = right->expand(word);
    if (left && right) return this;
    // A child that gave all its words away is replaced by the other one.
    SearchNode* other = left ? left : right;
    left = right = nullptr;
    delete this;
    return other;
}

bool SN_Compound::toNetwork(i4_file& f) {
    std::vector<SearchNode*> pending;
    pending.push_back(this);
    while (!pending.empty()) {
        SearchNode* node = pending.back();
        pending.pop_back();
        SN_Compound* c = asCompound(node);
        if (!c) {
            if (!node->toNetwork(f)) return false;
            continue;
        }
        if (!c->left || !c->right) return false;
        if (f.write_8(COMPOUND) != 1 || f.write_8((uint8_t)c->op) != 1) return false;
        pending.push_back(c->right);
        pending.push_back(c->left);
    }
    return true;
}

bool SN_Compound::fromNetwork(i4_file& f) {
    return readBody(f, 1);
}

bool SN_Compound::readBody(i4_file& f, int level) {
    uint8_t opByte;
    if (f.read(&opByte, 1) != 1) return false;
    op = opByte;
    // The level check in readNode bounds this recursion.
    left = readNode(f, level + 1);
    if (!left) return false;
    right = readNode(f, level + 1);
    return right != nullptr;
}

int SN_Compound::size() {
    return sumOverTree(2, &SearchNode::size);
}

int SN_Compound::weight() {
    return sumOverTree(0, &SearchNode::weight);
}

int SN_Compound::sumOverTree(int perCompound, int (SearchNode::*leafValue)()) {
    int total = 0;
    std::vector<SearchNode*> pending;
    pending.push_back(this);
    while (!pending.empty()) {
        SearchNode* node = pending.back();
        pending.pop_back();
        if (!node) continue;
        if (SN_Compound* c = asCompound(node)) {
            total += perCompound;
            pending.push_back(c->left);
            pending.push_back(c->right);
        } else {
            total += (node->*leafValue)();
        }
    }
    return total;
}

void SN_Compound::toText(i4_string& buffer) {
    static const char symbols[] = "&|!x";
    // Gathered here and appended once: appending piece by piece to the buffer
    // would copy it again for every node.
    std::string text;
    std::vector<std::pair<SearchNode*, int>> pending;
    pending.push_back({this, 0});
    while (!pending.empty()) {
        SearchNode* node = pending.back().first;
        int stage = pending.back().second;
        pending.pop_back();
        if (!node) continue;
        SN_Compound* c = asCompound(node);
        if (!c) {
            i4_string leaf("");
            node->toText(leaf);
            text += leaf.c_str();
            continue;
        }
        if (stage == 0) {
            text += " ( ";
            pending.push_back({c, 1});
            pending.push_back({c->left, 0});
        } else if (stage == 1) {
            text += ' ';
            text += c->op >= AND && c->op <= XOR ? symbols[c->op] : ' ';
            text += ' ';
            pending.push_back({c, 2});
            pending.push_back({c->right, 0});
        } else {
            text += " ) ";
        }
    }
    buffer.append(text.c_str());
}
