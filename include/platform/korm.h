/* KORM node-status service: OS nodes, their node agents (KORB) and the locations running on them. */
#ifndef ZELM_PLATFORM_KORM_H
#define ZELM_PLATFORM_KORM_H

#include <stddef.h>
#include <stdint.h>

#include "layout_assert.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The service's local data; only the first two fields are public, the rest is the service's. */
typedef struct KORM_LocalData {
    uintptr_t thHandle;  /* the service's worker thread */
    uintptr_t memHandle; /* the service's memory partition */
} KORM_LocalData;
ZELM_LAYOUT_ASSERT(offsetof(KORM_LocalData, thHandle) == 0);  /* the thread handle first */
ZELM_LAYOUT_ASSERT(offsetof(KORM_LocalData, memHandle) == 8); /* the memory handle second */

/* A node agent's control block; only the server handle is public. */
typedef struct KORM_KorbCb {
    uintptr_t serverHandle; /* RPC handle of the agent, never 0 */
} KORM_KorbCb;
ZELM_LAYOUT_ASSERT(offsetof(KORM_KorbCb, serverHandle) == 0); /* the server handle first */

/*
 * OS-node link change: the node's identifier, its position {chassis, slot,
 * cpu}, the link state (non-zero up, 0 down) and the subscriber's data.
 */
typedef uint32_t (*KORM_OsNodeStatusCallback)(uint32_t osNodeId, const uint32_t *position, uint32_t linkState,
                                              void *userData);

/*
 * Location status change: hosting OS node, service name, location index
 * (0xFFFFFFFF: invalid), availability (non-zero available) and the subscriber's data.
 */
typedef void (*KORM_LocationStatusCallback)(uint32_t osNodeId, const char *serviceName, uint32_t locIndex,
                                            uint32_t available, void *userData);

KORM_LocalData *KORM_GetLocalData(void);
KORM_KorbCb *KORM_FindKorbCb(uint32_t osNodeId, KORM_LocalData *kormData);
uint32_t KORM_SubOsNodeStatusIntf(KORM_LocalData *kormData, KORM_OsNodeStatusCallback callback, void *userData);
uint32_t KORM_DestroySubOsNodeStatusIntf(KORM_LocalData *kormData);
uint32_t KORM_SubLocationStatus(KORM_LocalData *kormData, KORM_LocationStatusCallback callback, void *userData);
uint32_t KORM_DestroySubLocationStatus(KORM_LocalData *kormData);
/* The last reported status of one location: 0 when known, with its index and availability. */
uint32_t KORM_GetLocationStatus(KORM_LocalData *kormData, uint32_t osNodeId, const char *serviceName,
                                uint32_t *locIndex, uint32_t *available);

#ifdef __cplusplus
}
#endif

#endif
