// The INFRA module: the library's only door to the node-status service (KORM) and the HA-role query (MIRL).
//
// The module keeps no state. Its control block is the node-status service's own
// local data, borrowed for the library's lifetime: never copied, never released.
#include "zelm_infra.h"
#include "platform/mirl.h"
#include "zelm_core.h"

namespace {

KORM_LocalData *InfraCb()
{
    return static_cast<KORM_LocalData *>(ZELM_GetModCb(ZELM_MOD_INFRA));
}

}  // namespace

extern "C" {

/* The node-status service's local data, or null (the library's start then fails). Owned by the service. */
ZELM_API void *ZELM_INFRA_Init(void)
{
    return KORM_GetLocalData();
}

/* The control block is the service's: nothing to release. */
ZELM_API void ZELM_INFRA_FInit(void *cb)
{
    (void)cb;
}

/* The service's worker thread, on which the library's timers run; 0 without a control block. */
ZELM_API uintptr_t ZELM_INFRA_GetThHandle(void)
{
    const KORM_LocalData *cb = InfraCb();
    return (cb != nullptr) ? cb->thHandle : 0;
}

/* The service's memory partition; 0 without a control block. */
ZELM_API uintptr_t ZELM_INFRA_GetMemHandle(void)
{
    const KORM_LocalData *cb = InfraCb();
    return (cb != nullptr) ? cb->memHandle : 0;
}

/* 1 when the HA role of this process is 0, else 0; 0 without a control block. */
ZELM_API uint32_t ZELM_INFRA_IsCanPublish(void)
{
    KORM_LocalData *cb = InfraCb();
    if (cb == nullptr) {
        return 0;
    }
    return (MIRL_GetCompHaRole(cb) == 0) ? 1u : 0u;
}

/* The server handle of the node agent on `osNodeId`; 0 without a control block or without an agent. */
ZELM_API uintptr_t ZELM_INFRA_GetKorbServerHandle(uint32_t osNodeId)
{
    KORM_LocalData *cb = InfraCb();
    if (cb == nullptr) {
        return 0;
    }
    const KORM_KorbCb *korb = KORM_FindKorbCb(osNodeId, cb);
    return (korb != nullptr) ? korb->serverHandle : 0;
}

/* The service's status: 0 when subscribed. The control block is passed as it is, null included. */
ZELM_API uint32_t ZELM_INFRA_SubOsNodeStatus(KORM_OsNodeStatusCallback callback, void *userData)
{
    return KORM_SubOsNodeStatusIntf(InfraCb(), callback, userData);
}

ZELM_API void ZELM_INFRA_DestroySubOsNodeStatus(void)
{
    (void)KORM_DestroySubOsNodeStatusIntf(InfraCb());
}

/* The service's status: 0 when subscribed. The control block is passed as it is, null included. */
ZELM_API uint32_t ZELM_INFRA_SubLocationStatus(KORM_LocationStatusCallback callback, void *userData)
{
    return KORM_SubLocationStatus(InfraCb(), callback, userData);
}

ZELM_API void ZELM_INFRA_DestroySubLocationStatus(void)
{
    (void)KORM_DestroySubLocationStatus(InfraCb());
}

/* Forwarded unchanged; the service's result. */
ZELM_API uint32_t ZELM_INFRA_GetLoctionStatus(KORM_LocalData *kormData, uint32_t osNodeId, const char *serviceName,
                                              uint32_t *locIndex, uint32_t *available)
{
    return KORM_GetLocationStatus(kormData, osNodeId, serviceName, locIndex, available);
}

}  // extern "C"
