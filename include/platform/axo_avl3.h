/* AXO AVL3 tree service: intrusive balanced trees whose entries carry their own node. */
#ifndef ZELM_PLATFORM_AXO_AVL3_H
#define ZELM_PLATFORM_AXO_AVL3_H

#include <stddef.h>
#include <stdint.h>

#include "layout_assert.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The link an entry carries. Before linking, the owner clears the three
 * pointers and sets both heights to -1; while linked, the heights are the
 * heights of the left and right subtrees (0 for an empty side), never -1.
 */
typedef struct AXO_AVL3_NODE {
    struct AXO_AVL3_NODE *parent;
    struct AXO_AVL3_NODE *left;
    struct AXO_AVL3_NODE *right;
    int16_t leftHeight;
    int16_t rightHeight;
} AXO_AVL3_NODE;
ZELM_LAYOUT_ASSERT(sizeof(AXO_AVL3_NODE) == 32); /* three pointers and two heights */

/* A tree: all three pointers are null when it is empty. */
typedef struct AXO_AVL3_TREE {
    AXO_AVL3_NODE *root;
    AXO_AVL3_NODE *first;
    AXO_AVL3_NODE *last;
} AXO_AVL3_TREE;
ZELM_LAYOUT_ASSERT(sizeof(AXO_AVL3_TREE) == 24); /* three pointers */

/* Key order: negative when the first key sorts before the second, 0 when equal. */
typedef int32_t (*AXO_AVL3_COMPARE)(const void *keyA, const void *keyB);

/* Where the key and the node lie inside an entry, and how keys compare. */
typedef struct AXO_AVL3_TREE_INFO {
    AXO_AVL3_COMPARE compare;
    uint16_t keyOffset;
    uint16_t nodeOffset;
} AXO_AVL3_TREE_INFO;
ZELM_LAYOUT_ASSERT(offsetof(AXO_AVL3_TREE_INFO, keyOffset) == 8);   /* key offset after the compare */
ZELM_LAYOUT_ASSERT(offsetof(AXO_AVL3_TREE_INFO, nodeOffset) == 10); /* node offset after the key offset */
ZELM_LAYOUT_ASSERT(sizeof(AXO_AVL3_TREE_INFO) == 16);               /* 16 bytes */

/*
 * Links `node` and returns null; when an entry with an equal key is already
 * linked, links nothing and returns that entry (start of the entry).
 */
void *AXO_AVL3_Insert_Or_Find(AXO_AVL3_TREE *tree, AXO_AVL3_NODE *node, const AXO_AVL3_TREE_INFO *treeInfo);

/* The entry whose key equals `key`, or null. */
void *AXO_AVL3_Find(AXO_AVL3_TREE *tree, const void *key, const AXO_AVL3_TREE_INFO *treeInfo);

/* Unlinks a linked node; its heights are reset to -1. */
void AXO_AVL3_Delete(AXO_AVL3_TREE *tree, AXO_AVL3_NODE *node);

/* The entry with the smallest key, or null. */
void *AXO_AVL3_First(AXO_AVL3_TREE *tree, const AXO_AVL3_TREE_INFO *treeInfo);

/* The entry after the one that holds `node`, or null. */
void *AXO_AVL3_Next(AXO_AVL3_NODE *node, const AXO_AVL3_TREE_INFO *treeInfo);

#ifdef __cplusplus
}
#endif

#endif
