// Start and stop of the LOCATION module: its control block, OS-node subscription, smooth timer and trees.
#include "core/zelm_log.h"
#include "location/loc_internal.h"

namespace {

// Releases what a start made once subscribed, and the block; returns the start's null result.
// The trees release themselves when their creation fails. A failed start must leave no OS-node
// report addressed to the block it releases.
void *DiscardBlock(locationCb *cb)
{
    if (cb->smoothTimer != nullptr) {
        (void)QOF_TimerDestroy(cb->smoothTimer);
    }
    ZELM_INFRA_DestroySubOsNodeStatus();
    ZELM_Free(cb);
    return nullptr;
}

}  // namespace

extern "C" {

/*
 * Builds the module's control block, subscribed to OS-node status, with its
 * smooth timer (stopped) and its three empty trees. Null on failure, with
 * nothing left behind. The block is the caller's until ZELM_LOCATION_FInit.
 */
ZELM_API void *ZELM_LOCATION_Init(void)
{
    auto *cb = static_cast<locationCb *>(ZELM_Malloc(sizeof(locationCb)));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("[ZELM] locationInst init failed. create locationInst cb error.");
        return nullptr;
    }
    (void)memset_s(cb, sizeof(*cb), 0, sizeof(*cb));
    if (ZELM_INFRA_SubOsNodeStatus(ZelmLocSubOsNodeLink, cb) != ZELM_OK) {
        ZELM_LOG_ERROR("[ZELM] locationInst init failed. sub locationInst link error.");
        ZELM_Free(cb);
        return nullptr;
    }
    if (ZelmLocInitSmoothTimer(cb) != ZELM_OK) {
        ZELM_LOG_ERROR("[ZELM] locationInst init failed. init smooth timer error.");
        return DiscardBlock(cb);
    }
    if (ZELM_LOCATION_InitTree(cb) != ZELM_OK) {
        ZELM_LOG_ERROR("[ZELM] locationInst init tree failed.");
        return DiscardBlock(cb);
    }
    ZELM_LOG_INFO("[ZELM] locationInst init ok.");
    return cb;
}

/*
 * Releases the timer, every record and the block; null is ignored. The
 * caller has withdrawn the OS-node subscription; nothing is sent to the agents.
 */
ZELM_API void ZELM_LOCATION_FInit(void *cbArg)
{
    auto *cb = static_cast<locationCb *>(cbArg);
    if (cb == nullptr) {
        return;
    }
    if (cb->smoothTimer != nullptr) {
        (void)QOF_TimerDestroy(cb->smoothTimer);
    }
    ZEL_AVL_Destroy(cb->locationInstTree);
    ZEL_AVL_Destroy(cb->logicGrpInstTree);
    ZEL_AVL_Destroy(cb->osNodeTree);
    ZELM_Free(cb);
    ZELM_LOG_INFO("[ZELM] locationInst finit ok.");
}

}  // extern "C"
