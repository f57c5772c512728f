/*
 * Private to libzelm: the find-or-insert and the key-order walk that every
 * owner of a set with a u32 key performs, written once.
 */
#ifndef ZELM_CONTAINERS_ZEL_SET_KEYED_H
#define ZELM_CONTAINERS_ZEL_SET_KEYED_H

#include <cstdint>

#include "zelm_set.h"

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

/* Key-order walk of a set whose entries start with their AVL3 node named `node`. */
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
