// AXO AVL3 trees: intrusive AVL trees whose entries carry their own node.
//
// A node stores the heights of its two subtrees rather than a balance
// factor, so every fix-up reads its children's heights from the children
// themselves. Rebalancing walks up through parent links, without recursion,
// and stops as soon as a subtree keeps its height. The tree keeps its first
// and last node so that a walk starts in constant time.
#include <cstdio>

#include "platform/axo_avl3.h"
#include "zelm_standin.h"

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

inline const void *KeyOf(const Node *n, const AXO_AVL3_TREE_INFO *info)
{
    return reinterpret_cast<const char *>(n) - info->nodeOffset + info->keyOffset;
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
    n->rightHeight = Height(inner);
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
    n->leftHeight = Height(inner);
    l->rightHeight = Height(n);
    return l;
}

// Refreshes the stored heights from `n` up to the root, rotating where a
// node leans by two. The stored heights of a node still describe its old
// subtree when it is reached, so the walk stops where a subtree's height
// did not change: nothing above it can have changed either.
void FixUp(AXO_AVL3_TREE *tree, Node *n)
{
    while (n != nullptr) {
        const int16_t oldHeight = Height(n);
        n->leftHeight = Height(n->left);
        n->rightHeight = Height(n->right);
        const int balance = n->leftHeight - n->rightHeight;
        if (balance > 1) {
            Node *l = n->left;
            if (l->leftHeight < l->rightHeight) {
                n->leftHeight = Height(RotateLeft(tree, l));
            }
            n = RotateRight(tree, n);
        } else if (balance < -1) {
            Node *r = n->right;
            if (r->rightHeight < r->leftHeight) {
                n->rightHeight = Height(RotateRight(tree, r));
            }
            n = RotateLeft(tree, n);
        }
        if (Height(n) == oldHeight) {
            return;
        }
        n = n->parent;
    }
}

}  // namespace

extern "C" void *AXO_AVL3_Insert_Or_Find(AXO_AVL3_TREE *tree, AXO_AVL3_NODE *node,
                                         const AXO_AVL3_TREE_INFO *treeInfo)
{
    if (tree == nullptr || node == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    const AXO_AVL3_COMPARE compare = treeInfo->compare;
    const void *key = KeyOf(node, treeInfo);
    Node *parent = nullptr;
    Node **link = &tree->root;
    bool leftmost = true;
    bool rightmost = true;
    while (*link != nullptr) {
        parent = *link;
        const int32_t order = compare(key, KeyOf(parent, treeInfo));
        if (order < 0) {
            link = &parent->left;
            rightmost = false;
        } else if (order > 0) {
            link = &parent->right;
            leftmost = false;
        } else {
            return EntryOf(parent, treeInfo);
        }
    }
    node->parent = parent;
    node->left = nullptr;
    node->right = nullptr;
    node->leftHeight = 0;
    node->rightHeight = 0;
    *link = node;
    if (leftmost) {
        tree->first = node;
    }
    if (rightmost) {
        tree->last = node;
    }
    FixUp(tree, parent);
    return nullptr;
}

extern "C" void *AXO_AVL3_Find(AXO_AVL3_TREE *tree, const void *key, const AXO_AVL3_TREE_INFO *treeInfo)
{
    if (tree == nullptr || key == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    const AXO_AVL3_COMPARE compare = treeInfo->compare;
    Node *n = tree->root;
    while (n != nullptr) {
        const int32_t order = compare(key, KeyOf(n, treeInfo));
        if (order == 0) {
            return EntryOf(n, treeInfo);
        }
        n = (order < 0) ? n->left : n->right;
    }
    return nullptr;
}

extern "C" void AXO_AVL3_Delete(AXO_AVL3_TREE *tree, AXO_AVL3_NODE *node)
{
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
    Node *fixFrom;
    if (node->left != nullptr && node->right != nullptr) {
        // The successor, which has no left child, takes the node's place.
        Node *s = Leftmost(node->right);
        if (s->parent == node) {
            fixFrom = s;
        } else {
            fixFrom = s->parent;
            fixFrom->left = s->right;
            if (s->right != nullptr) {
                s->right->parent = fixFrom;
            }
            s->right = node->right;
            s->right->parent = s;
        }
        s->left = node->left;
        s->left->parent = s;
        s->parent = node->parent;
        ReplaceChild(tree, node->parent, node, s);
        s->leftHeight = node->leftHeight;
        s->rightHeight = node->rightHeight;
    } else {
        Node *child = (node->left != nullptr) ? node->left : node->right;
        if (child != nullptr) {
            child->parent = node->parent;
        }
        ReplaceChild(tree, node->parent, node, child);
        fixFrom = node->parent;
    }
    FixUp(tree, fixFrom);
    node->parent = nullptr;
    node->left = nullptr;
    node->right = nullptr;
    node->leftHeight = -1;
    node->rightHeight = -1;
}

extern "C" void *AXO_AVL3_First(AXO_AVL3_TREE *tree, const AXO_AVL3_TREE_INFO *treeInfo)
{
    if (tree == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    return EntryOf(tree->first, treeInfo);
}

extern "C" void *AXO_AVL3_Next(AXO_AVL3_NODE *node, const AXO_AVL3_TREE_INFO *treeInfo)
{
    if (node == nullptr || treeInfo == nullptr) {
        return nullptr;
    }
    return EntryOf(Successor(node), treeInfo);
}
