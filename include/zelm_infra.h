/* The INFRA module: the library's only door to the node-status service and the HA-role query. */
#ifndef ZELM_INFRA_H
#define ZELM_INFRA_H

#include <stdint.h>

#include "platform/korm.h"
#include "zelm_api.h"

ZELM_EXTERN_C_BEGIN

/* Returns the node-status service's local data (not owned by the library), or null. */
ZELM_API void *ZELM_INFRA_Init(void);
ZELM_API void ZELM_INFRA_FInit(void *cb);
ZELM_API uintptr_t ZELM_INFRA_GetThHandle(void);
ZELM_API uintptr_t ZELM_INFRA_GetMemHandle(void);
/* 1 when the HA role allows publication, else 0 (also without a control block). */
ZELM_API uint32_t ZELM_INFRA_IsCanPublish(void);
ZELM_API uintptr_t ZELM_INFRA_GetKorbServerHandle(uint32_t osNodeId);
ZELM_API uint32_t ZELM_INFRA_SubOsNodeStatus(KORM_OsNodeStatusCallback callback, void *userData);
ZELM_API void ZELM_INFRA_DestroySubOsNodeStatus(void);
ZELM_API uint32_t ZELM_INFRA_SubLocationStatus(KORM_LocationStatusCallback callback, void *userData);
ZELM_API void ZELM_INFRA_DestroySubLocationStatus(void);
ZELM_API uint32_t ZELM_INFRA_GetLoctionStatus(KORM_LocalData *kormData, uint32_t osNodeId,
                                              const char *serviceName, uint32_t *locIndex,
                                              uint32_t *available);

ZELM_EXTERN_C_END

#endif
