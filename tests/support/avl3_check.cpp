// Proves an AVL3 tree sound, walking it as it stands without the tree service's help.
#include "support/avl3_check.h"

#include <cstdio>

namespace zt {
namespace {

using Node = AXO_AVL3_NODE;

// Deeper than any balanced tree that fits in memory: reaching it means a cycle or a degenerate tree.
constexpr int kMaxDepth = 96;

struct CheckState {
    const AXO_AVL3_TREE_INFO *info;
    const Node *prev;  // last node visited in key order
    const Node *leftmost;
    std::string why;
};

std::string At(const Node *n)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%p", static_cast<const void *>(n));
    return text;
}

const void *KeyOf(const Node *n, const AXO_AVL3_TREE_INFO *info)
{
    return reinterpret_cast<const char *>(n) - info->nodeOffset + info->keyOffset;
}

// Checks the subtree at `n` in key order and stores its true height; false with st->why set when not sound.
bool CheckSubtree(CheckState *st, const Node *n, int depth, int *height)
{
    if (n == nullptr) {
        *height = 0;
        return true;
    }
    if (depth > kMaxDepth) {
        st->why = "node " + At(n) + " lies deeper than " + std::to_string(kMaxDepth) + " levels (cycle?)";
        return false;
    }
    if ((n->left != nullptr && n->left->parent != n) || (n->right != nullptr && n->right->parent != n)) {
        st->why = "a child of " + At(n) + " does not point back to it";
        return false;
    }
    int lh = 0;
    if (!CheckSubtree(st, n->left, depth + 1, &lh)) {
        return false;
    }
    if (st->prev == nullptr) {
        st->leftmost = n;
    } else if (st->info != nullptr && st->info->compare(KeyOf(st->prev, st->info), KeyOf(n, st->info)) >= 0) {
        st->why = "node " + At(n) + " does not sort after its predecessor " + At(st->prev);
        return false;
    }
    st->prev = n;
    int rh = 0;
    if (!CheckSubtree(st, n->right, depth + 1, &rh)) {
        return false;
    }
    if (n->leftHeight != lh || n->rightHeight != rh) {
        st->why = "node " + At(n) + " stores heights " + std::to_string(n->leftHeight) + "/" +
                  std::to_string(n->rightHeight) + ", true heights are " + std::to_string(lh) + "/" +
                  std::to_string(rh);
        return false;
    }
    if (lh - rh > 1 || rh - lh > 1) {
        st->why = "node " + At(n) + " is out of balance: heights " + std::to_string(lh) + "/" + std::to_string(rh);
        return false;
    }
    *height = 1 + ((lh > rh) ? lh : rh);
    return true;
}

}  // namespace

std::string Avl3Problem(const AXO_AVL3_TREE *tree, const AXO_AVL3_TREE_INFO *treeInfo)
{
    if (tree == nullptr) {
        return "no tree";
    }
    if (treeInfo != nullptr && treeInfo->compare == nullptr) {
        return "tree info has no compare function";
    }
    if (tree->root == nullptr) {
        return (tree->first != nullptr || tree->last != nullptr)
                   ? "empty tree keeps first " + At(tree->first) + " / last " + At(tree->last)
                   : "";
    }
    if (tree->root->parent != nullptr) {
        return "root " + At(tree->root) + " has a parent";
    }
    CheckState st{treeInfo, nullptr, nullptr, ""};
    int height = 0;
    if (!CheckSubtree(&st, tree->root, 0, &height)) {
        return st.why;
    }
    if (tree->first != st.leftmost) {
        return "first is " + At(tree->first) + ", smallest node is " + At(st.leftmost);
    }
    if (tree->last != st.prev) {
        return "last is " + At(tree->last) + ", largest node is " + At(st.prev);
    }
    return "";
}

}  // namespace zt
