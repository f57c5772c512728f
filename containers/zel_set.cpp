// Keyed sets: fixed-size entries that carry their own AVL3 node and key, made from constant descriptors.
//
// A set owns its entries. It allocates them on insertion and releases them,
// after the fini hook, on deletion and destruction, always through the
// allocator pair it was made with. The tree service only links nodes; a node
// with both heights at -1 is "not in a tree", and only linked nodes are unlinked.
#include <cstddef>
#include <cstring>

#include "platform/bounds.h"
#include "zelm_set.h"

namespace {

constexpr int16_t kUnlinkedHeight = -1;

AXO_AVL3_NODE *EntryNode(const ZelSet *set, void *entry)
{
    return reinterpret_cast<AXO_AVL3_NODE *>(static_cast<char *>(entry) + set->treeInfo.nodeOffset);
}

void PrepareNode(AXO_AVL3_NODE *node)
{
    node->parent = nullptr;
    node->left = nullptr;
    node->right = nullptr;
    node->leftHeight = kUnlinkedHeight;
    node->rightHeight = kUnlinkedHeight;
}

bool NodeLinked(const AXO_AVL3_NODE *node)
{
    return node->leftHeight != kUnlinkedHeight && node->rightHeight != kUnlinkedHeight;
}

bool KeyArgUsable(const ZelSet *set, const void *key, uint32_t keyLen)
{
    return set != nullptr && key != nullptr && keyLen == set->keyLen;
}

// Unlinks (when linked), finishes and releases one entry.
void ReleaseEntry(ZelSet *set, void *entry)
{
    ZelSetDeleteNode(set, entry);
    set->finiHook(entry, set->entrySize);
    set->alloc.freeFn(entry);
}

}  // namespace

extern "C" {

/*
 * Returns a new empty set, or null when an argument or a required function is
 * missing (nothing is allocated then) or the header cannot be allocated.
 * The caller owns the set and ends it with ZEL_AVL_Destroy.
 */
ZELM_API ZelSet *ZEL_AVL_Create(const ZelSetDesc *desc, const ZelSetAllocator *alloc)
{
    if (desc == nullptr || alloc == nullptr || desc->compare == nullptr || alloc->freeFn == nullptr ||
        alloc->mallocFn == nullptr) {
        return nullptr;
    }
    ZelSet *set = static_cast<ZelSet *>(alloc->mallocFn(sizeof(ZelSet)));
    if (set == nullptr) {
        return nullptr;
    }
    (void)memset_s(set, sizeof(ZelSet), 0, sizeof(ZelSet));

    set->alloc = *alloc;
    set->treeInfo.compare = desc->compare;
    set->treeInfo.keyOffset = static_cast<uint16_t>(desc->keyOffset);
    set->treeInfo.nodeOffset = static_cast<uint16_t>(desc->nodeOffset);
    set->keyLen = static_cast<uint16_t>(desc->keyLen);
    set->entrySize = static_cast<uint16_t>(desc->entrySize);
    set->count = 0;
    set->initHook = (desc->initHook != nullptr) ? desc->initHook : ZelSetEntryInitStub;
    set->finiHook = (desc->finiHook != nullptr) ? desc->finiHook : ZelSetEntryFiniStub;
    return set;
}

/*
 * Releases every entry (fini hook first, in key order) and then the set header
 * itself, with the set's own free function; a null set is ignored. Since no
 * owner touches a set after destroying it, keeping the header would only leak it.
 */
ZELM_API void ZEL_AVL_Destroy(ZelSet *set)
{
    if (set == nullptr) {
        return;
    }
    void *entry = AXO_AVL3_First(&set->tree, &set->treeInfo);
    while (entry != nullptr) {
        void *next = AXO_AVL3_Next(EntryNode(set, entry), &set->treeInfo);
        ReleaseEntry(set, entry);
        entry = next;
    }
    set->alloc.freeFn(set);
}

/* The set's tree (the set pointer itself), or null for a null set. */
ZELM_API AXO_AVL3_TREE *ZEL_AVL_GetTree(ZelSet *set)
{
    return (set != nullptr) ? &set->tree : nullptr;
}

/*
 * Orders two u32 keys by their wrapped difference, first minus second, as a
 * signed value. That difference has the sign of the numeric order only for
 * keys fewer than 2^31 apart; keys further apart get -1 or 1 by numeric order,
 * so that the order stays total whatever the keys.
 */
ZELM_API int32_t ZEL_AVL_Uint32Compare(const void *a, const void *b)
{
    uint32_t x = 0;
    uint32_t y = 0;
    std::memcpy(&x, a, sizeof(x));
    std::memcpy(&y, b, sizeof(y));
    const uint32_t distance = (x >= y) ? x - y : y - x;
    if (distance >= 0x80000000u) {
        return (x < y) ? -1 : 1;
    }
    return static_cast<int32_t>(x - y);
}

/* strcmp of two NUL-terminated texts. */
ZELM_API int32_t ZEL_AVL_StringCompare(const void *a, const void *b)
{
    return std::strcmp(static_cast<const char *>(a), static_cast<const char *>(b));
}

/*
 * Makes, initialises and links a new entry holding `key`; returns it, owned by
 * the set. Null on a bad argument, a key length other than the set's, an
 * allocation or init hook failure, or an equal key already present; the set is
 * then unchanged and the existing entry untouched.
 */
ZELM_API void *ZEL_SET_Insert(ZelSet *set, const void *key, uint32_t keyLen)
{
    if (!KeyArgUsable(set, key, keyLen) || set->entrySize == 0) {
        return nullptr;
    }
    void *entry = set->alloc.mallocFn(set->entrySize);
    if (entry == nullptr) {
        return nullptr;
    }
    // Failures below release the bare block: the entry was never complete, so no fini hook.
    if (set->initHook(entry, set->entrySize) != 0) {
        set->alloc.freeFn(entry);
        return nullptr;
    }
    const size_t keyOffset = set->treeInfo.keyOffset;
    const size_t room = (keyOffset < set->entrySize) ? set->entrySize - keyOffset : 0;
    if (room == 0 || memcpy_s(static_cast<char *>(entry) + keyOffset, room, key, keyLen) != 0) {
        set->alloc.freeFn(entry);
        return nullptr;
    }
    if (ZelSetInsertOrFindNode(set, entry, set->entrySize) != nullptr) {
        set->alloc.freeFn(entry);
        return nullptr;
    }
    return entry;
}

/*
 * Links an entry the caller filled (no init hook, no key copy); from then on
 * the set owns it. 0xFFFFFFFF on a bad argument, a size other than the set's
 * entry size, or an equal key already present: nothing is linked and the entry
 * stays the caller's.
 */
ZELM_API uint32_t ZEL_SET_InsertNode(ZelSet *set, void *entry, uint32_t entrySize)
{
    if (set == nullptr || entry == nullptr || entrySize != set->entrySize) {
        return ZELM_ERR;
    }
    return (ZelSetInsertOrFindNode(set, entry, entrySize) == nullptr) ? ZELM_OK : ZELM_ERR;
}

/* The entry with an equal key (still the set's), or null; also null on a bad argument or key length. */
ZELM_API void *ZEL_SET_Find(ZelSet *set, const void *key, uint32_t keyLen)
{
    if (!KeyArgUsable(set, key, keyLen)) {
        return nullptr;
    }
    return AXO_AVL3_Find(&set->tree, key, &set->treeInfo);
}

/* Unlinks, finishes and releases the entry with an equal key; a missing key or bad argument does nothing. */
ZELM_API void ZEL_SET_Delete(ZelSet *set, const void *key, uint32_t keyLen)
{
    void *entry = ZEL_SET_Find(set, key, keyLen);
    if (entry == nullptr) {
        return;
    }
    ReleaseEntry(set, entry);
}

/* Number of linked entries; 0 for a null set. */
ZELM_API uint32_t ZEL_SET_Count(const ZelSet *set)
{
    return (set != nullptr) ? set->count : 0;
}

/* Links the entry and returns null, or returns the entry already holding an equal key and links nothing. */
ZELM_API void *ZelSetInsertOrFindNode(ZelSet *set, void *entry, uint32_t entrySize)
{
    (void)entrySize;
    AXO_AVL3_NODE *node = EntryNode(set, entry);
    PrepareNode(node);
    void *existing = AXO_AVL3_Insert_Or_Find(&set->tree, node, &set->treeInfo);
    if (existing == nullptr) {
        ++set->count;
    }
    return existing;
}

/* Unlinks the entry if it is linked; no hook, no release: the entry goes back to the caller. */
ZELM_API void ZelSetDeleteNode(ZelSet *set, void *entry)
{
    AXO_AVL3_NODE *node = EntryNode(set, entry);
    if (!NodeLinked(node)) {
        return;
    }
    AXO_AVL3_Delete(&set->tree, node);
    --set->count;
}

/* The init hook of a set without its own: the entry starts all zero. */
ZELM_API uint32_t ZelSetEntryInitStub(void *entry, uint32_t size)
{
    (void)memset_s(entry, size, 0, size);
    return 0;
}

/* The fini hook of a set without its own: entries hold nothing to finish. */
ZELM_API void ZelSetEntryFiniStub(void *entry, uint32_t size)
{
    (void)entry;
    (void)size;
}

}  // extern "C"
