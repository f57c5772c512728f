/* Start and stop of the COMP module: its control block, link subscription, smooth timer and trees. */
#include "comp/comp_internal.h"
#include "core/zelm_log.h"

namespace {

// Records start zero-filled; a location's hooks make and destroy its set of components.
constexpr ZelSetDesc kCompLocationDesc =
    ZelSetDescU32<ZelmCompLocation>(offsetof(ZelmCompLocation, locIndex), ZelmCompLocationTreeInit,
                                    ZelmCompLocationTreeFini);
constexpr ZelSetDesc kCompNodeDesc =
    ZelSetDescU32<ZelmCompNode>(offsetof(ZelmCompNode, cfg) + offsetof(ZelmCompNodeCfg, compType));

// Releases what a start made once subscribed, and the block; returns the start's null result.
// The location-link subscription stays: the LINK module offers no way to withdraw it, and no
// event can reach it before the library subscribes to location status, after every module started.
void *DiscardBlock(ZelmCompCb *cb)
{
    if (cb->smoothTimer != nullptr) {
        (void)QOF_TimerDestroy(cb->smoothTimer);
    }
    ZEL_AVL_Destroy(cb->locationTree);
    ZEL_AVL_Destroy(cb->compNodeTree);
    ZELM_Free(cb);
    return nullptr;
}

}  // namespace

extern "C" {

/*
 * Builds the module: control block, location-link subscription, stopped
 * smooth timer, then the location and compNode trees. Null on failure, with
 * everything made before released except the link subscription, which
 * cannot be withdrawn. The control block belongs to the module registry.
 */
ZELM_API void *ZELM_COMP_Init(void)
{
    auto *cb = static_cast<ZelmCompCb *>(ZELM_Malloc(sizeof(ZelmCompCb)));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("[ZELM] comp init failed. create comp cb error.");
        return nullptr;
    }
    (void)memset_s(cb, sizeof(*cb), 0, sizeof(*cb));
    if (ZELM_LINK_SubLocationLink(ZelmCompSubLocationLink, cb) != ZELM_OK) {
        ZELM_LOG_ERROR("[ZELM] comp init failed. sub location link error.");
        ZELM_Free(cb);
        return nullptr;
    }
    if (ZelmCompInitSmoothTimer(cb) != ZELM_OK) {
        ZELM_LOG_ERROR("[ZELM] comp init failed. init smooth timer error.");
        return DiscardBlock(cb);
    }
    cb->locationTree = ZEL_AVL_Create(&kCompLocationDesc, &kZelmSetAllocator);
    if (cb->locationTree != nullptr) {
        cb->compNodeTree = ZEL_AVL_Create(&kCompNodeDesc, &kZelmSetAllocator);
    }
    if (cb->locationTree == nullptr || cb->compNodeTree == nullptr) {
        ZELM_LOG_ERROR("[ZELM] comp init failed. create location tree or comp tree error.");
        return DiscardBlock(cb);
    }
    ZELM_LOG_INFO("[ZELM] comp init ok.");
    return cb;
}

/*
 * Destroys the timer and every record the module holds, then the control
 * block. A null block does nothing. Pending calls are not cancelled: the
 * host completes or drops them before it stops the library.
 */
ZELM_API void ZELM_COMP_FInit(void *cbArg)
{
    auto *cb = static_cast<ZelmCompCb *>(cbArg);
    if (cb == nullptr) {
        return;
    }
    if (cb->smoothTimer != nullptr) {
        (void)QOF_TimerDestroy(cb->smoothTimer);
    }
    ZEL_AVL_Destroy(cb->locationTree);
    ZEL_AVL_Destroy(cb->compNodeTree);
    ZELM_Free(cb);
    ZELM_LOG_INFO("[ZELM] comp finit ok.");
}

}  // extern "C"
