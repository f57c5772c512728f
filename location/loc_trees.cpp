// The LOCATION module's three keyed trees: location instances, logic groups and OS nodes.
#include <stddef.h>

#include "location/loc_internal.h"

namespace {

// Records are zero-filled by the sets' default hooks: only the key is set on insertion.
constexpr ZelSetDesc kLocationInstDesc = {
    static_cast<uint32_t>(offsetof(locationInst, instCfg) + offsetof(ZelmLocInstCfg, LocId)),
    static_cast<uint32_t>(offsetof(locationInst, node)),
    kZelmLocKeyLen,
    static_cast<uint32_t>(sizeof(locationInst)),
    ZEL_AVL_Uint32Compare,
    nullptr,
    nullptr,
};

constexpr ZelSetDesc kLogicGrpDesc = {
    static_cast<uint32_t>(offsetof(LogicLocGrp, grpCfg) + offsetof(ZelmLogicLocGrpCfg, locIndex)),
    static_cast<uint32_t>(offsetof(LogicLocGrp, node)),
    kZelmLocKeyLen,
    static_cast<uint32_t>(sizeof(LogicLocGrp)),
    ZEL_AVL_Uint32Compare,
    nullptr,
    nullptr,
};

constexpr ZelSetDesc kOsNodeDesc = {
    static_cast<uint32_t>(offsetof(osNodeInst, osNodeId)),
    static_cast<uint32_t>(offsetof(osNodeInst, node)),
    kZelmLocKeyLen,
    static_cast<uint32_t>(sizeof(osNodeInst)),
    ZEL_AVL_Uint32Compare,
    nullptr,
    nullptr,
};

constexpr ZelSetAllocator kLocAllocator = {ZELM_Malloc, ZELM_Free};

template <typename Rec>
Rec *FindRecord(ZelSet *set, uint32_t key)
{
    return static_cast<Rec *>(ZEL_SET_Find(set, &key, kZelmLocKeyLen));
}

void DestroyRecord(ZelSet *set, uint32_t key)
{
    ZEL_SET_Delete(set, &key, kZelmLocKeyLen);
}

}  // namespace

extern "C" {

/* The record of locIndex, inserted zero-filled when absent; null when the insertion fails. */
ZELM_API locationInst *ZelmTryAddLocationInst(locationCb *cb, uint32_t locIndex)
{
    return ZelSetFindOrInsertU32<locationInst>(cb->locationInstTree, locIndex);
}

/* The record of locIndex, or null. */
ZELM_API locationInst *ZelmTryFindLocationInst(locationCb *cb, uint32_t locIndex)
{
    return FindRecord<locationInst>(cb->locationInstTree, locIndex);
}

/* Removes and frees the record of locIndex when there is one. */
ZELM_API void ZelmTryDestroyLocationInst(locationCb *cb, uint32_t locIndex)
{
    DestroyRecord(cb->locationInstTree, locIndex);
}

/* The group of locIndex, inserted zero-filled when absent; null when the insertion fails. */
ZELM_API LogicLocGrp *ZelmTryAddLogicGrpInst(locationCb *cb, uint32_t locIndex)
{
    return ZelSetFindOrInsertU32<LogicLocGrp>(cb->logicGrpInstTree, locIndex);
}

/* The group of locIndex, or null. */
ZELM_API LogicLocGrp *ZelmTryFindLogicGrpInst(locationCb *cb, uint32_t locIndex)
{
    return FindRecord<LogicLocGrp>(cb->logicGrpInstTree, locIndex);
}

/* Removes and frees the group of locIndex when there is one. */
ZELM_API void ZelmTryDestroyLogicGrpInst(locationCb *cb, uint32_t locIndex)
{
    DestroyRecord(cb->logicGrpInstTree, locIndex);
}

/* The OS node's record, inserted zero-filled when absent; null when the insertion fails. */
ZELM_API osNodeInst *ZelmLocTryAddOsNode(locationCb *cb, uint32_t osNodeId)
{
    return ZelSetFindOrInsertU32<osNodeInst>(cb->osNodeTree, osNodeId);
}

/* The OS node's record, or null. */
ZELM_API osNodeInst *ZelmLocTryFindOsNode(locationCb *cb, uint32_t osNodeId)
{
    return FindRecord<osNodeInst>(cb->osNodeTree, osNodeId);
}

/* Removes and frees the OS node's record, and its fault flag with it, when there is one. */
ZELM_API void ZelmLocTryDestroyOsnode(locationCb *cb, uint32_t osNodeId)
{
    // A flagged node takes its flag with it; the timer runs on until a success stops it.
    const osNodeInst *osNode = ZelmLocTryFindOsNode(cb, osNodeId);
    if (osNode != nullptr) {
        ZelmPeerFlagGone(&g_zelmLocFlaggedOsNodes, osNode);
    }
    DestroyRecord(cb->osNodeTree, osNodeId);
}

/*
 * Creates the three trees, each stored in its slot as soon as it exists.
 * 0xFFFFFFFF when one cannot be created: the trees made are emptied, the slots
 * keep their values and the caller discards the block.
 */
ZELM_API uint32_t ZELM_LOCATION_InitTree(locationCb *cb)
{
    cb->locationInstTree = ZEL_AVL_Create(&kLocationInstDesc, &kLocAllocator);
    if (cb->locationInstTree != nullptr) {
        cb->logicGrpInstTree = ZEL_AVL_Create(&kLogicGrpDesc, &kLocAllocator);
        if (cb->logicGrpInstTree != nullptr) {
            cb->osNodeTree = ZEL_AVL_Create(&kOsNodeDesc, &kLocAllocator);
            if (cb->osNodeTree != nullptr) {
                return ZELM_OK;
            }
        }
    }
    ZelSet *const trees[] = {cb->locationInstTree, cb->logicGrpInstTree, cb->osNodeTree};
    for (ZelSet *tree : trees) {
        if (tree != nullptr) {
            ZEL_AVL_Destroy(tree);
        }
    }
    return ZELM_ERR;
}

}  // extern "C"
