/* The INFRA module: the library's only door to the node-status service and the HA-role query. */
#ifndef ZELM_INFRA_H
#define ZELM_INFRA_H

#include <stdint.h>

#include "platform/korm.h"
#include "zelm_api.h"

ZELM_EXTERN_C_BEGIN

/* The node-status service's local data, the service's own; null when it has none (the start then fails). */
ZELM_API void *ZELM_INFRA_Init(void);
/* The control block is the service's: nothing to release. */
ZELM_API void ZELM_INFRA_FInit(void *cb);
/* The service's worker thread, on which the timers run; 0 without a control block. */
ZELM_API uintptr_t ZELM_INFRA_GetThHandle(void);
/* The service's memory partition; 0 without a control block. */
ZELM_API uintptr_t ZELM_INFRA_GetMemHandle(void);
/* 1 when the HA role allows publication, else 0 (also without a control block). */
ZELM_API uint32_t ZELM_INFRA_IsCanPublish(void);
/* The server handle of the node agent on the OS node; 0 without a control block or an agent. */
ZELM_API uintptr_t ZELM_INFRA_GetKorbServerHandle(uint32_t osNodeId);
/* The service's status, 0 when subscribed; withdrawn with ZELM_INFRA_DestroySubOsNodeStatus. */
ZELM_API uint32_t ZELM_INFRA_SubOsNodeStatus(KORM_OsNodeStatusCallback callback, void *userData);
ZELM_API void ZELM_INFRA_DestroySubOsNodeStatus(void);
/* The service's status, 0 when subscribed; withdrawn with ZELM_INFRA_DestroySubLocationStatus. */
ZELM_API uint32_t ZELM_INFRA_SubLocationStatus(KORM_LocationStatusCallback callback, void *userData);
ZELM_API void ZELM_INFRA_DestroySubLocationStatus(void);
/* The service's own answer, forwarded unchanged. */
ZELM_API uint32_t ZELM_INFRA_GetLoctionStatus(KORM_LocalData *kormData, uint32_t osNodeId, const char *serviceName,
                                              uint32_t *locIndex, uint32_t *available);

ZELM_EXTERN_C_END

#endif
