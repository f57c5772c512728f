/*
 * The component model: comp locations keyed by location index, each owning a
 * set of components keyed by instance number, and the compNode records keyed
 * by component type. Records refer to each other by key only, so a component
 * may exist before or after the compNode record of its type.
 */
#include <cstddef>

#include "comp/comp_internal.h"
#include "core/zelm_log.h"
#include "core/zelm_record.h"

namespace {

// A location's components; the key compInst is the first field of the configuration part.
constexpr ZelSetDesc kComponentDesc =
    ZelSetDescU32<ZelmComponent>(offsetof(ZelmComponent, cfg) + offsetof(ZelmCompInstCfg, compInst));

}  // namespace

extern "C" {

/*
 * Copies the compNode record of `compType` into `out`; types 3 and 207 get a
 * record of zeros without a lookup. 0xFFFFFFFF when absent, `out` untouched.
 */
ZELM_API uint32_t ZELM_COMP_GetCompNodeCfg(ZelmCompCb *cb, uint32_t compType, ZelmCompNodeCfg *out)
{
    if (out == nullptr) {
        return ZELM_ERR;
    }
    if (compType == ZELM_COMP_TYPE_NO_NODE_A || compType == ZELM_COMP_TYPE_NO_NODE_B) {
        (void)memset_s(out, sizeof(*out), 0, sizeof(*out));
        out->compType = compType;
        return ZELM_OK;
    }
    ZelmCompNode *node = nullptr;
    if (cb != nullptr) {
        node = ZelSetFindU32<ZelmCompNode>(cb->compNodeTree, compType);
    }
    ZELM_LOG_INFO("zelm get compNode from compNodeTree compType %u is %s.", compType,
                  (node != nullptr) ? "success" : "failed");
    if (node == nullptr) {
        return ZELM_ERR;
    }
    return ZelmCopyRecord(out, node->cfg);
}

/*
 * Stores `cfg` whole under `compType`, replacing an existing record.
 * 0xFFFFFFFF when no entry could be had or the copy was refused; the set is
 * then as it was: an existing record unchanged, an entry made for the copy
 * deleted again.
 */
ZELM_API uint32_t ZELM_COMP_SetCompNodeCfg(ZelmCompCb *cb, uint32_t compType, const ZelmCompNodeCfg *cfg)
{
    if (cb == nullptr || cfg == nullptr) {
        return ZELM_ERR;
    }
    const uint32_t stored = ZEL_SET_Count(cb->compNodeTree);
    auto *node = ZelSetFindOrInsertU32<ZelmCompNode>(cb->compNodeTree, compType);
    ZELM_LOG_INFO("zelm set compNode from compNodeTree compType %u is %s.", compType,
                  (node != nullptr) ? "success" : "failed");
    if (node == nullptr) {
        return ZELM_ERR;
    }
    if (ZelmCopyRecord(&node->cfg, *cfg) != ZELM_OK) {
        ZelSetUndoInsertU32(cb->compNodeTree, stored, compType);
        return ZELM_ERR;
    }
    return ZELM_OK;
}

/* Logs the switch, also to the value already held, and stores it. Cannot fail. */
ZELM_API void ZelmCompSetState(ZelmComponent *component, uint32_t state)
{
    if (component == nullptr) {
        return;
    }
    ZELM_LOG_INFO("zelm comp, state switch : %u->%u", component->state, state);
    component->state = state;
}

/* The comp location of `locIndex`, found or new (no channel, no fault); null when the insert failed. */
ZELM_API ZelmCompLocation *ZelmCompTryAddLocation(ZelmCompCb *cb, uint32_t locIndex)
{
    if (cb == nullptr) {
        return nullptr;
    }
    return ZelSetFindOrInsertU32<ZelmCompLocation>(cb->locationTree, locIndex);
}

/* Removes the comp location of `locIndex` with all its components; nothing when absent. */
ZELM_API void ZelmCompTryDestroyLocation(ZelmCompCb *cb, uint32_t locIndex)
{
    if (cb == nullptr) {
        return;
    }
    const ZelmCompLocation *location = ZelSetFindU32<ZelmCompLocation>(cb->locationTree, locIndex);
    if (location == nullptr) {
        return;
    }
    // A flagged location takes its flag with it; the timer runs on until a success stops it.
    ZelSetDeleteU32(cb->locationTree, locIndex);
    ZELM_LOG_INFO("zelm destroy location locIndex %u", locIndex);
}

/* The component `compInst` of the location, found or new (zero but its key); null when the insert failed. */
ZELM_API ZelmComponent *ZelmLocationTryAddComp(ZelmCompLocation *location, uint32_t compInst)
{
    if (location == nullptr) {
        return nullptr;
    }
    return ZelSetFindOrInsertU32<ZelmComponent>(location->componentTree, compInst);
}

/* Prepares a new comp location with an empty component set; 0xFFFFFFFF makes the insert give up. */
ZELM_API uint32_t ZelmCompLocationTreeInit(void *entry, uint32_t size)
{
    if (size != sizeof(ZelmCompLocation)) {
        ZELM_LOG_ERROR("zelm comp, location init, len dismatch, %u != %u", size,
                       static_cast<uint32_t>(sizeof(ZelmCompLocation)));
        return ZELM_ERR;
    }
    auto *location = static_cast<ZelmCompLocation *>(entry);
    (void)memset_s(location, size, 0, size);
    location->componentTree = ZEL_AVL_Create(&kComponentDesc, &kZelmSetAllocator);
    if (location->componentTree == nullptr) {
        ZELM_LOG_ERROR("zelm comp, location tree create failed");
        return ZELM_ERR;
    }
    return ZELM_OK;
}

/* Releases the location's components and their set; the entry itself stays the container's. */
ZELM_API void ZelmCompLocationTreeFini(void *entry, uint32_t size)
{
    if (size != sizeof(ZelmCompLocation)) {
        ZELM_LOG_ERROR("zelm comp, location fini, len dismatch, %u != %u", size,
                       static_cast<uint32_t>(sizeof(ZelmCompLocation)));
        return;
    }
    auto *location = static_cast<ZelmCompLocation *>(entry);
    ZEL_AVL_Destroy(location->componentTree);
    location->componentTree = nullptr;
}

}  // extern "C"
