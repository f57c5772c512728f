// The LOCATION module's three keyed trees: location instances, logic groups and OS nodes.
#include <stddef.h>

#include "location/loc_internal.h"

namespace {

// Records are zero-filled by the sets' default hooks: only the key is set on insertion.
constexpr ZelSetDesc kLocationInstDesc =
    ZelSetDescU32<locationInst>(offsetof(locationInst, instCfg) + offsetof(ZelmLocInstCfg, LocId));
constexpr ZelSetDesc kLogicGrpDesc =
    ZelSetDescU32<LogicLocGrp>(offsetof(LogicLocGrp, grpCfg) + offsetof(ZelmLogicLocGrpCfg, locIndex));
constexpr ZelSetDesc kOsNodeDesc = ZelSetDescU32<osNodeInst>(offsetof(osNodeInst, osNodeId));

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
    return ZelSetFindU32<locationInst>(cb->locationInstTree, locIndex);
}

/* Removes and frees the record of locIndex when there is one. */
ZELM_API void ZelmTryDestroyLocationInst(locationCb *cb, uint32_t locIndex)
{
    ZelSetDeleteU32(cb->locationInstTree, locIndex);
}

/* The group of locIndex, inserted zero-filled when absent; null when the insertion fails. */
ZELM_API LogicLocGrp *ZelmTryAddLogicGrpInst(locationCb *cb, uint32_t locIndex)
{
    return ZelSetFindOrInsertU32<LogicLocGrp>(cb->logicGrpInstTree, locIndex);
}

/* The group of locIndex, or null. */
ZELM_API LogicLocGrp *ZelmTryFindLogicGrpInst(locationCb *cb, uint32_t locIndex)
{
    return ZelSetFindU32<LogicLocGrp>(cb->logicGrpInstTree, locIndex);
}

/* Removes and frees the group of locIndex when there is one. */
ZELM_API void ZelmTryDestroyLogicGrpInst(locationCb *cb, uint32_t locIndex)
{
    ZelSetDeleteU32(cb->logicGrpInstTree, locIndex);
}

/* The OS node's record, inserted zero-filled when absent; null when the insertion fails. */
ZELM_API osNodeInst *ZelmLocTryAddOsNode(locationCb *cb, uint32_t osNodeId)
{
    return ZelSetFindOrInsertU32<osNodeInst>(cb->osNodeTree, osNodeId);
}

/* The OS node's record, or null. */
ZELM_API osNodeInst *ZelmLocTryFindOsNode(locationCb *cb, uint32_t osNodeId)
{
    return ZelSetFindU32<osNodeInst>(cb->osNodeTree, osNodeId);
}

/* Removes and frees the OS node's record, and its fault flag with it, when there is one. */
ZELM_API void ZelmLocTryDestroyOsnode(locationCb *cb, uint32_t osNodeId)
{
    // A flagged node takes its flag with it; the timer runs on until a success stops it.
    ZelSetDeleteU32(cb->osNodeTree, osNodeId);
}

/*
 * Creates the three trees, each stored in its slot as soon as it exists.
 * 0xFFFFFFFF when one cannot be created: the trees made are emptied, the slots
 * keep their values and the caller discards the block.
 */
ZELM_API uint32_t ZELM_LOCATION_InitTree(locationCb *cb)
{
    cb->locationInstTree = ZEL_AVL_Create(&kLocationInstDesc, &kZelmSetAllocator);
    if (cb->locationInstTree != nullptr) {
        cb->logicGrpInstTree = ZEL_AVL_Create(&kLogicGrpDesc, &kZelmSetAllocator);
        if (cb->logicGrpInstTree != nullptr) {
            cb->osNodeTree = ZEL_AVL_Create(&kOsNodeDesc, &kZelmSetAllocator);
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
