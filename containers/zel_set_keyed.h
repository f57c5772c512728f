/*
 * Private to libzelm: what every owner of a set with a u32 key does, written
 * once. The set's descriptor, its typed lookup, find-or-insert and delete,
 * and the key-order walk, for entries that start with their AVL3 node named
 * `node`.
 */
#ifndef ZELM_CONTAINERS_ZEL_SET_KEYED_H
#define ZELM_CONTAINERS_ZEL_SET_KEYED_H

#include <cstddef>
#include <cstdint>

#include "zelm_core.h"
#include "zelm_set.h"

/* Every set of the library takes its entries from the host. */
inline constexpr ZelSetAllocator kZelmSetAllocator = {ZELM_Malloc, ZELM_Free};

/* The descriptor of a set of Entry records whose u32 key lies at `keyOffset`; hooks are optional. */
template <typename Entry>
constexpr ZelSetDesc ZelSetDescU32(size_t keyOffset, ZelSetInitHook initHook = nullptr,
                                   ZelSetFiniHook finiHook = nullptr)
{
    return ZelSetDesc{
        static_cast<uint32_t>(keyOffset),
        static_cast<uint32_t>(offsetof(Entry, node)),
        static_cast<uint32_t>(sizeof(uint32_t)),
        static_cast<uint32_t>(sizeof(Entry)),
        ZEL_AVL_Uint32Compare,
        initHook,
        finiHook,
    };
}

/* The entry of `key`, still the set's, or null. */
template <typename Entry>
inline Entry *ZelSetFindU32(ZelSet *set, uint32_t key)
{
    return static_cast<Entry *>(ZEL_SET_Find(set, &key, sizeof(key)));
}

/* The entry of `key`, or a new one (initialised by the set's init hook); null when the insert fails. */
template <typename Entry>
inline Entry *ZelSetFindOrInsertU32(ZelSet *set, uint32_t key)
{
    void *entry = ZEL_SET_Find(set, &key, sizeof(key));
    if (entry == nullptr) {
        entry = ZEL_SET_Insert(set, &key, sizeof(key));
    }
    return static_cast<Entry *>(entry);
}

/* Unlinks, finishes and releases the entry of `key`; nothing when there is none. */
inline void ZelSetDeleteU32(ZelSet *set, uint32_t key)
{
    ZEL_SET_Delete(set, &key, sizeof(key));
}

/*
 * Deletes the entry of `key` again when the set grew from `countBefore`, that
 * is when the find-or-insert just made it: an operation refused after its
 * insertion leaves the set as it was. Through the set's delete, so its hooks run.
 */
inline void ZelSetUndoInsertU32(ZelSet *set, uint32_t countBefore, uint32_t key)
{
    if (ZEL_SET_Count(set) != countBefore) {
        ZelSetDeleteU32(set, key);
    }
}

/* Key-order walk; the caller takes the next entry before deleting the current one. */
template <typename Entry>
inline Entry *ZelSetFirst(ZelSet *set)
{
    return static_cast<Entry *>(AXO_AVL3_First(ZEL_AVL_GetTree(set), &set->treeInfo));
}

template <typename Entry>
inline Entry *ZelSetNext(ZelSet *set, Entry *entry)
{
    return static_cast<Entry *>(AXO_AVL3_Next(&entry->node, &set->treeInfo));
}

#endif
