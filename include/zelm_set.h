/*
 * Keyed sets of fixed-size records on the platform's AVL3 trees, made from constant descriptors.
 *
 * Each entry carries its own AVL3 node and its key. A set owns its entries:
 * ZEL_SET_Insert makes one and ZEL_SET_InsertNode takes over one the caller
 * filled; from then on the set releases it (finiHook, then alloc.freeFn) on
 * ZEL_SET_Delete and ZEL_AVL_Destroy. ZelSetDeleteNode alone hands an entry
 * back to the caller, unlinked and not released. Entries never move while
 * linked, so a pointer to one stays valid until it is deleted.
 *
 * Walks: AXO_AVL3_First(ZEL_AVL_GetTree(set), &set->treeInfo), then
 * AXO_AVL3_Next(node of the entry, &set->treeInfo) until null, in ascending
 * key order. During a walk the current entry may be deleted once its
 * successor has been taken, and other entries may be inserted or deleted,
 * except that successor; an entry inserted behind the current one is met by
 * the walk, one inserted before it is not.
 */
#ifndef ZELM_SET_H
#define ZELM_SET_H

#include <stddef.h>
#include <stdint.h>

#include "platform/axo_avl3.h"
#include "zelm_api.h"

ZELM_EXTERN_C_BEGIN

typedef uint32_t (*ZelSetInitHook)(void *entry, uint32_t entrySize);
typedef void (*ZelSetFiniHook)(void *entry, uint32_t entrySize);

typedef struct ZelSetDesc {
    uint32_t keyOffset;
    uint32_t nodeOffset;
    uint32_t keyLen;
    uint32_t entrySize;
    AXO_AVL3_COMPARE compare;
    ZelSetInitHook initHook; /* optional */
    ZelSetFiniHook finiHook; /* optional */
} ZelSetDesc;
ZELM_LAYOUT_ASSERT(offsetof(ZelSetDesc, keyOffset) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelSetDesc, nodeOffset) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelSetDesc, keyLen) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelSetDesc, entrySize) == 12);
ZELM_LAYOUT_ASSERT(offsetof(ZelSetDesc, compare) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelSetDesc, initHook) == 24);
ZELM_LAYOUT_ASSERT(offsetof(ZelSetDesc, finiHook) == 32);
ZELM_LAYOUT_ASSERT(sizeof(ZelSetDesc) == 40);

typedef struct ZelSetAllocator {
    void *(*mallocFn)(size_t size);
    void (*freeFn)(void *ptr);
} ZelSetAllocator;
ZELM_LAYOUT_ASSERT(offsetof(ZelSetAllocator, mallocFn) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelSetAllocator, freeFn) == 8);
ZELM_LAYOUT_ASSERT(sizeof(ZelSetAllocator) == 16);

/* The tree is the first member: a set pointer is also its tree pointer. */
typedef struct ZelSet {
    AXO_AVL3_TREE tree;
    AXO_AVL3_TREE_INFO treeInfo;
    uint32_t count;
    uint16_t keyLen;
    uint16_t entrySize;
    ZelSetAllocator alloc;
    ZelSetInitHook initHook;
    ZelSetFiniHook finiHook;
} ZelSet;
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, tree) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, treeInfo) == 24);
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, count) == 40);
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, keyLen) == 44);
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, entrySize) == 46);
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, alloc) == 48);
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, initHook) == 64);
ZELM_LAYOUT_ASSERT(offsetof(ZelSet, finiHook) == 72);
ZELM_LAYOUT_ASSERT(sizeof(ZelSet) == 80);

/* A new empty set, the caller's until ZEL_AVL_Destroy; null for a missing argument or function, or no memory. */
ZELM_API ZelSet *ZEL_AVL_Create(const ZelSetDesc *desc, const ZelSetAllocator *alloc);
/* Releases every entry in key order, then the set itself; null is ignored. */
ZELM_API void ZEL_AVL_Destroy(ZelSet *set);
/* The set's tree, which is the set pointer itself; null for a null set. */
ZELM_API AXO_AVL3_TREE *ZEL_AVL_GetTree(ZelSet *set);
/*
 * Key compares, usable as a descriptor's compare function. The u32 compare
 * takes two pointers to u32 keys and orders them by their wrapped difference
 * (see the source for keys 2^31 or more apart); the string compare takes two
 * pointers to NUL-terminated texts and returns strcmp.
 */
ZELM_API int32_t ZEL_AVL_Uint32Compare(const void *a, const void *b);
ZELM_API int32_t ZEL_AVL_StringCompare(const void *a, const void *b);
/* A new entry holding `key`, owned by the set; null on a bad argument, no memory, a refused hook, or an equal key. */
ZELM_API void *ZEL_SET_Insert(ZelSet *set, const void *key, uint32_t keyLen);
/* 0: the caller's filled entry is linked and the set's; 0xFFFFFFFF (still the caller's): bad argument or equal key. */
ZELM_API uint32_t ZEL_SET_InsertNode(ZelSet *set, void *entry, uint32_t entrySize);
/* The entry with an equal key, still the set's; null when absent or on a bad argument or key length. */
ZELM_API void *ZEL_SET_Find(ZelSet *set, const void *key, uint32_t keyLen);
/* Unlinks and releases the entry with an equal key; nothing when absent or on a bad argument. */
ZELM_API void ZEL_SET_Delete(ZelSet *set, const void *key, uint32_t keyLen);
/* The number of linked entries; 0 for a null set. */
ZELM_API uint32_t ZEL_SET_Count(const ZelSet *set);
/* Links the entry and returns null, or returns the entry holding an equal key and links nothing. */
ZELM_API void *ZelSetInsertOrFindNode(ZelSet *set, void *entry, uint32_t entrySize);
/* Unlinks the entry when it is linked and hands it back to the caller, neither finished nor released. */
ZELM_API void ZelSetDeleteNode(ZelSet *set, void *entry);
/* The default hooks: the entry starts all zero (returns 0); nothing to finish. */
ZELM_API uint32_t ZelSetEntryInitStub(void *entry, uint32_t size);
ZELM_API void ZelSetEntryFiniStub(void *entry, uint32_t size);

ZELM_EXTERN_C_END

#endif
