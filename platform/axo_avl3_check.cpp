// STANDIN_AVL3_Check: proves an AVL3 tree sound (order, heights, balance, links, ends).
#include <cstdarg>
#include <cstdio>

#include "zelm_standin.h"

namespace {

using Node = AXO_AVL3_NODE;

// Deeper than any balanced tree that fits in memory: reaching it means a cycle or a degenerate tree.
constexpr int kMaxDepth = 96;

struct CheckState {
    const AXO_AVL3_TREE_INFO *info;
    const Node *prev;  // last node visited in key order
    const Node *leftmost;
    char *why;
    size_t whyLen;
};

__attribute__((format(printf, 2, 3))) int Fail(CheckState *st, const char *fmt, ...)
{
    if (st->why != nullptr && st->whyLen != 0) {
        va_list ap;
        va_start(ap, fmt);
        (void)std::vsnprintf(st->why, st->whyLen, fmt, ap);
        va_end(ap);
    }
    return 1;
}

const void *KeyOf(const Node *n, const AXO_AVL3_TREE_INFO *info)
{
    return reinterpret_cast<const char *>(n) - info->nodeOffset + info->keyOffset;
}

// Checks the subtree at `n` in key order and stores its true height; 0 when sound.
int CheckSubtree(CheckState *st, const Node *n, int depth, int *height)
{
    if (n == nullptr) {
        *height = 0;
        return 0;
    }
    if (depth > kMaxDepth) {
        return Fail(st, "node %p lies deeper than %d levels (cycle?)", static_cast<const void *>(n), kMaxDepth);
    }
    if (n->left != nullptr && n->left->parent != n) {
        return Fail(st, "left child of %p does not point back to it", static_cast<const void *>(n));
    }
    if (n->right != nullptr && n->right->parent != n) {
        return Fail(st, "right child of %p does not point back to it", static_cast<const void *>(n));
    }
    int lh = 0;
    if (CheckSubtree(st, n->left, depth + 1, &lh) != 0) {
        return 1;
    }
    if (st->prev == nullptr) {
        st->leftmost = n;
    } else if (st->info != nullptr && st->info->compare(KeyOf(st->prev, st->info), KeyOf(n, st->info)) >= 0) {
        return Fail(st, "node %p does not sort after its predecessor %p", static_cast<const void *>(n),
                    static_cast<const void *>(st->prev));
    }
    st->prev = n;
    int rh = 0;
    if (CheckSubtree(st, n->right, depth + 1, &rh) != 0) {
        return 1;
    }
    if (n->leftHeight != lh || n->rightHeight != rh) {
        return Fail(st, "node %p stores heights %d/%d, true heights are %d/%d", static_cast<const void *>(n),
                    n->leftHeight, n->rightHeight, lh, rh);
    }
    if (lh - rh > 1 || rh - lh > 1) {
        return Fail(st, "node %p is out of balance: heights %d/%d", static_cast<const void *>(n), lh, rh);
    }
    *height = 1 + ((lh > rh) ? lh : rh);
    return 0;
}

}  // namespace

// Without tree info the order is not checked; everything else is.
extern "C" int STANDIN_AVL3_Check(const AXO_AVL3_TREE *tree, const AXO_AVL3_TREE_INFO *treeInfo, char *why,
                                  size_t whyLen)
{
    CheckState st{treeInfo, nullptr, nullptr, why, whyLen};
    if (why != nullptr && whyLen != 0) {
        why[0] = '\0';
    }
    if (tree == nullptr) {
        return Fail(&st, "no tree");
    }
    if (treeInfo != nullptr && treeInfo->compare == nullptr) {
        return Fail(&st, "tree info has no compare function");
    }
    if (tree->root == nullptr) {
        if (tree->first != nullptr || tree->last != nullptr) {
            return Fail(&st, "empty tree keeps first %p / last %p", static_cast<const void *>(tree->first),
                        static_cast<const void *>(tree->last));
        }
        return 0;
    }
    if (tree->root->parent != nullptr) {
        return Fail(&st, "root %p has a parent", static_cast<const void *>(tree->root));
    }
    int height = 0;
    if (CheckSubtree(&st, tree->root, 0, &height) != 0) {
        return 1;
    }
    if (tree->first != st.leftmost) {
        return Fail(&st, "first is %p, smallest node is %p", static_cast<const void *>(tree->first),
                    static_cast<const void *>(st.leftmost));
    }
    if (tree->last != st.prev) {
        return Fail(&st, "last is %p, largest node is %p", static_cast<const void *>(tree->last),
                    static_cast<const void *>(st.prev));
    }
    return 0;
}
