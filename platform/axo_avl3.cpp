// AXO AVL3 trees: intrusive AVL trees whose entries carry their own node.
//
// A node stores the heights of its two subtrees rather than a balance
// factor. Rebalancing walks up through parent links, without recursion,
// and stops as soon as a subtree keeps its height. The tree keeps its first
// and last node so that a walk starts in constant time.
#include <cstddef>
#include <cstdint>

#include "platform/axo_avl3.h"
#include "standin_services.h"

namespace {

using Node = AXO_AVL3_NODE;

inline int16_t Height(const Node *n)
{
    if (n == nullptr) {
        return 0;
    }
    return static_cast<int16_t>(1 + ((n->leftHeight > n->rightHeight) ? n->leftHeight : n->rightHeight));
}

inline void *EntryOf(Node *n, const AXO_AVL3_TREE_INFO *info)
{
    return (n == nullptr) ? nullptr : reinterpret_cast<char *>(n) - info->nodeOffset;
}

// Where the key lies relative to the node.
inline ptrdiff_t KeyDelta(const AXO_AVL3_TREE_INFO *info)
{
    return static_cast<ptrdiff_t>(info->keyOffset) - static_cast<ptrdiff_t>(info->nodeOffset);
}

inline const void *KeyAt(const Node *n, ptrdiff_t keyDelta)
{
    return reinterpret_cast<const char *>(n) + keyDelta;
}

// Which child a descent goes on to is a coin toss at every level: taken as a
// select, it costs no branch that the processor would mispredict half of the
// time. Written as a conditional, compilers keep the branch.
inline Node *Select(int32_t order, Node *left, Node *right)
{
    const uintptr_t mask = static_cast<uintptr_t>(static_cast<intptr_t>(order) >> 31);  // all ones when negative
    const uintptr_t l = reinterpret_cast<uintptr_t>(left);
    const uintptr_t r = reinterpret_cast<uintptr_t>(right);
    return reinterpret_cast<Node *>(r ^ ((l ^ r) & mask));
}

// Where a descent towards a key ended: the node holding an equal key, or the
// node under which the key would hang and the compare's sign there.
struct Descent {
    Node *equal;
    Node *parent;
    int32_t order;
};

// The one descent of lookups and insertions. Both children are loaded and
// prefetched before the key of `n` is compared: the compare call, which the
// caller supplies and nothing can inline, then no longer stands between one
// level's load and the next, and no load is repeated after it. Prefetching a
// null child is harmless. The offsets are read once: the compare function is
// opaque, so fields read through the info pointer would be read again after
// every call.
inline Descent Descend(const AXO_AVL3_TREE *tree, const void *key, const AXO_AVL3_TREE_INFO *info)
{
    const AXO_AVL3_COMPARE compare = info->compare;
    const ptrdiff_t keyDelta = KeyDelta(info);
    Descent at = {nullptr, nullptr, 0};
    Node *n = tree->root;
    while (n != nullptr) {
        Node *const left = n->left;
        Node *const right = n->right;
        __builtin_prefetch(left);
        __builtin_prefetch(right);
        at.order = compare(key, KeyAt(n, keyDelta));
        if (at.order == 0) {
            at.equal = n;
            return at;
        }
        at.parent = n;
        n = Select(at.order, left, right);
    }
    return at;
}

inline Node *Leftmost(Node *n)
{
    while (n->left != nullptr) {
        n = n->left;
    }
    return n;
}

inline Node *Rightmost(Node *n)
{
    while (n->right != nullptr) {
        n = n->right;
    }
    return n;
}

inline Node *Successor(Node *n)
{
    if (n->right != nullptr) {
        return Leftmost(n->right);
    }
    Node *p = n->parent;
    while (p != nullptr && n == p->right) {
        n = p;
        p = p->parent;
    }
    return p;
}

inline Node *Predecessor(Node *n)
{
    if (n->left != nullptr) {
        return Rightmost(n->left);
    }
    Node *p = n->parent;
    while (p != nullptr && n == p->left) {
        n = p;
        p = p->parent;
    }
    return p;
}

inline void ReplaceChild(AXO_AVL3_TREE *tree, Node *parent, Node *old, Node *with)
{
    if (parent == nullptr) {
        tree->root = with;
    } else if (parent->left == old) {
        parent->left = with;
    } else {
        parent->right = with;
    }
}

// n's right child r takes n's place; returns r.
Node *RotateLeft(AXO_AVL3_TREE *tree, Node *n)
{
    Node *r = n->right;
    Node *inner = r->left;
    n->right = inner;
    if (inner != nullptr) {
        inner->parent = n;
    }
    r->parent = n->parent;
    ReplaceChild(tree, n->parent, n, r);
    r->left = n;
    n->parent = r;
    n->rightHeight = r->leftHeight;
    r->leftHeight = Height(n);
    return r;
}

// n's left child l takes n's place; returns l.
Node *RotateRight(AXO_AVL3_TREE *tree, Node *n)
{
    Node *l = n->left;
    Node *inner = l->right;
    n->left = inner;
    if (inner != nullptr) {
        inner->parent = n;
    }
    l->parent = n->parent;
    ReplaceChild(tree, n->parent, n, l);
    l->right = n;
    n->parent = l;
    n->leftHeight = l->rightHeight;
    l->rightHeight = Height(n);
    return l;
}

// Rotates a node that leans by two, to the left side or not, back into
// balance; returns the subtree's new root. Inlined: as a call, it costs an
// insertion into a small tree 4 %.
__attribute__((always_inline)) inline Node *RotateBack(AXO_AVL3_TREE *tree, Node *n, bool leansLeft)
{
    if (leansLeft) {
        Node *l = n->left;
        if (l->leftHeight < l->rightHeight) {
            n->leftHeight = Height(RotateLeft(tree, l));
        }
        return RotateRight(tree, n);
    }
    Node *r = n->right;
    if (r->rightHeight < r->leftHeight) {
        n->rightHeight = Height(RotateRight(tree, r));
    }
    return RotateLeft(tree, n);
}

// The walk after a deletion. `n`'s subtree on one side (`left` or not) now
// has height `height`; the walk stores it, rotates where a node leans by two
// and goes up. Only the changed side is read, so the walk never touches the
// siblings of the path unless it rotates; it stops where a subtree keeps its
// old height, since nothing above can have changed.
void RetraceDelete(AXO_AVL3_TREE *tree, Node *n, bool left, int16_t height)
{
    while (n != nullptr) {
        const int16_t oldHeight = Height(n);
        if (left) {
            n->leftHeight = height;
        } else {
            n->rightHeight = height;
        }
        const int balance = n->leftHeight - n->rightHeight;
        if (balance > 1 || balance < -1) {
            n = RotateBack(tree, n, balance > 1);
        }
        height = Height(n);
        Node *up = n->parent;
        if (height == oldHeight || up == nullptr) {
            return;
        }
        left = (up->left == n);
        n = up;
    }
}

// The walk after an insertion, where a side only ever grows by one: `n`'s
// side `left` now has height `height`, one more than before. Each node above
// grows by one too, until one whose other side was at least as high (its
// height stays) or one that leans by two, which the rotation takes back to
// its old height. Only the heights stored in the path's nodes are read.
void RetraceInsert(AXO_AVL3_TREE *tree, Node *n, bool left, int16_t height)
{
    for (;;) {
        int16_t other;
        if (left) {
            n->leftHeight = height;
            other = n->rightHeight;
        } else {
            n->rightHeight = height;
            other = n->leftHeight;
        }
        if (height <= other) {
            return;
        }
        if (height > other + 1) {
            (void)RotateBack(tree, n, left);
            return;
        }
        Node *up = n->parent;
        if (up == nullptr) {
            return;
        }
        height = static_cast<int16_t>(height + 1);
        left = (up->left == n);
        n = up;
    }
}

}  // namespace

extern "C" void *AXO_AVL3_Insert_Or_Find(AXO_AVL3_TREE *tree, AXO_AVL3_NODE *node, const AXO_AVL3_TREE_INFO *treeInfo)
{
    STANDIN_COUNT_CALL();
    if (tree == nullptr || node == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    const Descent at = Descend(tree, KeyAt(node, KeyDelta(treeInfo)), treeInfo);
    if (at.equal != nullptr) {
        return EntryOf(at.equal, treeInfo);
    }
    Node *const parent = at.parent;
    node->parent = parent;
    node->left = nullptr;
    node->right = nullptr;
    node->leftHeight = 0;
    node->rightHeight = 0;
    if (parent == nullptr) {
        tree->root = node;
        tree->first = node;
        tree->last = node;
        return nullptr;
    }
    // A new smallest key can only hang left of the old smallest, a new largest right of the old largest.
    if (at.order < 0) {
        parent->left = node;
        if (tree->first == parent) {
            tree->first = node;
        }
    } else {
        parent->right = node;
        if (tree->last == parent) {
            tree->last = node;
        }
    }
    RetraceInsert(tree, parent, at.order < 0, 1);
    return nullptr;
}

extern "C" void *AXO_AVL3_Find(AXO_AVL3_TREE *tree, const void *key, const AXO_AVL3_TREE_INFO *treeInfo)
{
    STANDIN_COUNT_CALL();
    if (tree == nullptr || key == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    return EntryOf(Descend(tree, key, treeInfo).equal, treeInfo);
}

extern "C" void AXO_AVL3_Delete(AXO_AVL3_TREE *tree, AXO_AVL3_NODE *node)
{
    STANDIN_COUNT_CALL();
    // A node whose heights are -1 is not in any tree.
    if (tree == nullptr || node == nullptr || node->leftHeight < 0 || node->rightHeight < 0) {
        return;
    }
    if (tree->first == node) {
        tree->first = Successor(node);
    }
    if (tree->last == node) {
        tree->last = Predecessor(node);
    }
    Node *fixFrom;      // the lowest node whose subtree lost height on one side
    bool fixLeft;       // which side
    int16_t fixHeight;  // that side's new height
    if (node->left != nullptr && node->right != nullptr) {
        // The successor, which has no left child, takes the node's place.
        Node *s = Leftmost(node->right);
        Node *sRight = s->right;
        if (s->parent == node) {
            fixFrom = s;
            fixLeft = false;
        } else {
            fixFrom = s->parent;
            fixLeft = true;
            fixFrom->left = sRight;
            if (sRight != nullptr) {
                sRight->parent = fixFrom;
            }
            s->right = node->right;
            s->right->parent = s;
        }
        fixHeight = Height(sRight);
        s->left = node->left;
        s->left->parent = s;
        s->parent = node->parent;
        ReplaceChild(tree, node->parent, node, s);
        s->leftHeight = node->leftHeight;
        s->rightHeight = node->rightHeight;
    } else {
        Node *child = (node->left != nullptr) ? node->left : node->right;
        fixFrom = node->parent;
        fixLeft = (fixFrom != nullptr && fixFrom->left == node);
        fixHeight = Height(child);
        if (child != nullptr) {
            child->parent = fixFrom;
        }
        ReplaceChild(tree, fixFrom, node, child);
    }
    if (fixFrom != nullptr) {
        RetraceDelete(tree, fixFrom, fixLeft, fixHeight);
    }
    node->parent = nullptr;
    node->left = nullptr;
    node->right = nullptr;
    node->leftHeight = -1;
    node->rightHeight = -1;
}

extern "C" void *AXO_AVL3_First(AXO_AVL3_TREE *tree, const AXO_AVL3_TREE_INFO *treeInfo)
{
    STANDIN_COUNT_CALL();
    if (tree == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    return EntryOf(tree->first, treeInfo);
}

extern "C" void *AXO_AVL3_Next(AXO_AVL3_NODE *node, const AXO_AVL3_TREE_INFO *treeInfo)
{
    STANDIN_COUNT_CALL();
    if (node == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    return EntryOf(Successor(node), treeInfo);
}
