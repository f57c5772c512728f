// Library start and stop, the module tables and the registry of module control blocks.
//
// The four modules start in identifier order (INFRA, LINK, LOCATION, COMP) and
// stop in reverse: LINK must exist before COMP subscribes to its location-link
// events, and INFRA before anyone subscribes to the node-status service. A start
// that fails part-way rolls nothing back; the slots it never reached hold null,
// and the stop releases only what a slot or the record still holds.
#include <cstddef>

#include "core/zelm_log.h"
#include "zelm.h"

namespace {

// Indexed by module identifier. A null entry skips the module at start and stop.
constexpr ZelmModInitFn kModInitFns[ZELM_MOD_NUM] = {
    ZELM_INFRA_Init,
    ZELM_LINK_Init,
    ZELM_LOCATION_Init,
    ZELM_COMP_Init,
};

constexpr ZelmModFInitFn kModFInitFns[ZELM_MOD_NUM] = {
    ZELM_INFRA_FInit,
    ZELM_LINK_FInit,
    ZELM_LOCATION_FInit,
    ZELM_COMP_FInit,
};

}  // namespace

extern "C" {

ZELM_API ZelmLocalData *g_zelmLocalData = nullptr;

/*
 * 0 when started, also when it already was (the hooks given are then ignored).
 * 0xFFFFFFFF on failure; once the record exists it stays published, with the
 * modules that did start, and only ZELM_FInit takes it down.
 */
ZELM_API uint32_t ZELM_Init(ZelmMallocFn mallocFn, ZelmFreeFn freeFn)
{
    if (mallocFn == nullptr || freeFn == nullptr) {
        ZELM_LOG_ERROR("[ZELM]init failed. param is invalid.");
        return ZELM_ERR;
    }
    if (g_zelmLocalData != nullptr) {
        ZELM_LOG_INFO("[ZELM]init again ok.");
        return ZELM_OK;
    }

    g_zelmLocalData = static_cast<ZelmLocalData *>(mallocFn(sizeof(ZelmLocalData)));
    ZelmLocalData *data = g_zelmLocalData;
    if (data == nullptr) {
        ZELM_LOG_ERROR("[ZELM]init failed. alloc local data is error.");
        return ZELM_ERR;
    }
    data->mallocFn = mallocFn;
    data->freeFn = freeFn;
    // Slots the start never reaches and a table never registered must read as empty to ZELM_FInit.
    for (ZelmModSlot &slot : data->mods) {
        slot.cb = nullptr;
        slot.initFn = nullptr;
    }
    data->msgTable = nullptr;
    data->msgTableNum = 0;

    if (ZelmInitMods(data) != ZELM_OK) {
        ZELM_LOG_ERROR("[ZELM]init failed. init modes error.");
        return ZELM_ERR;
    }
    if (ZELM_INFRA_SubLocationStatus(ZELM_LINK_SubLocationStatus, data->mods[ZELM_MOD_LINK].cb) != ZELM_OK) {
        ZELM_LOG_ERROR("[ZELM]init failed. subs location status error.");
        return ZELM_ERR;
    }
    return ZELM_RegisterMsgTable(data);
}

/* Stops the modules and releases the record; does nothing while stopped. Class registrations stay. */
ZELM_API void ZELM_FInit(void)
{
    ZelmLocalData *data = g_zelmLocalData;
    if (data == nullptr) {
        return;
    }
    // No status report may reach a module while it stops.
    ZELM_INFRA_DestroySubOsNodeStatus();
    ZELM_INFRA_DestroySubLocationStatus();
    ZelmFInitMods(data);

    ZELM_Free(data->msgTable);
    ZELM_Free(data);
    g_zelmLocalData = nullptr;
}

/* 0 when all four modules started; 0xFFFFFFFF at the first that fails, the ones before it left running. */
ZELM_API uint32_t ZelmInitMods(ZelmLocalData *data)
{
    if (data == nullptr) {
        return ZELM_ERR;
    }
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        ZelmModInitFn initFn = kModInitFns[id];
        if (initFn == nullptr) {
            continue;
        }
        data->mods[id].initFn = initFn;
        data->mods[id].cb = initFn();
        if (data->mods[id].cb == nullptr) {
            ZELM_LOG_ERROR("zelm init, create mod %u fail", id);
            return ZELM_ERR;
        }
    }
    return ZELM_OK;
}

/* Stops, in reverse start order, every module whose slot holds a control block. */
ZELM_API void ZelmFInitMods(ZelmLocalData *data)
{
    if (data == nullptr) {
        return;
    }
    for (uint32_t id = ZELM_MOD_NUM; id-- > 0;) {
        ZelmModFInitFn finiFn = kModFInitFns[id];
        if (finiFn == nullptr || data->mods[id].cb == nullptr) {
            continue;
        }
        finiFn(data->mods[id].cb);
    }
    // Error level although the stop succeeded, so that the line survives error-only log filters.
    ZELM_LOG_ERROR("zelm Finit ok");
}

/* The control block in slot `modId`; null for an unknown module or while stopped. Owned by the module. */
ZELM_API void *ZELM_GetModCb(uint32_t modId)
{
    if (modId >= ZELM_MOD_NUM || g_zelmLocalData == nullptr) {
        return nullptr;
    }
    return g_zelmLocalData->mods[modId].cb;
}

/* The library's record, or null while stopped. Owned by the library. */
ZELM_API ZelmLocalData *ZELM_GetLocalData(void)
{
    return g_zelmLocalData;
}

}  // extern "C"
