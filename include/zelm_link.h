/* The LINK module: the registry of available locations and the location-link events it delivers. */
#ifndef ZELM_LINK_H
#define ZELM_LINK_H

#include <stdint.h>

#include "platform/axo_avl3.h"
#include "zelm_api.h"
#include "zelm_set.h"

ZELM_EXTERN_C_BEGIN

#define ZELM_LINK_SERVICE_NAME_LEN 64u
#define ZELM_LINK_LOC_KEY_LEN 68u
#define ZELM_INVALID_LOC_INDEX 0xFFFFFFFFu

typedef struct ZelmLinkLocKey {
    uint32_t osNodeId;
    char serviceName[ZELM_LINK_SERVICE_NAME_LEN]; /* zero-terminated, zero-filled behind */
} ZelmLinkLocKey;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkLocKey, osNodeId) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkLocKey, serviceName) == 4);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLinkLocKey) == ZELM_LINK_LOC_KEY_LEN);

typedef struct ZelmLinkLoc {
    AXO_AVL3_NODE node;
    ZelmLinkLocKey key;
    uintptr_t chanHandle;
    uint32_t locIndex; /* 0xFFFFFFFF while none was announced */
} ZelmLinkLoc;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkLoc, node) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkLoc, key) == 32);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkLoc, chanHandle) == 104);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkLoc, locIndex) == 112);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLinkLoc) == 120);

/* A location-link event: index, channel handle (0 withdraws the index), subscriber's data. */
typedef uint32_t (*ZelmLocationLinkCallback)(uint32_t locIndex, uintptr_t chanHandle, void *userData);

typedef struct ZelmListHead {
    struct ZelmListHead *next;
    struct ZelmListHead *prev;
} ZelmListHead;
ZELM_LAYOUT_ASSERT(offsetof(ZelmListHead, next) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmListHead, prev) == 8);
ZELM_LAYOUT_ASSERT(sizeof(ZelmListHead) == 16);

typedef struct ZelmLinkSub {
    ZelmListHead links;
    ZelmLocationLinkCallback callback;
    void *userData;
} ZelmLinkSub;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkSub, links) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkSub, callback) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkSub, userData) == 24);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLinkSub) == 32);

typedef struct ZelmLinkCb {
    ZelSet *linkLocTree;
    uintptr_t svcHandle;
    ZelmListHead subList;
} ZelmLinkCb;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkCb, linkLocTree) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkCb, svcHandle) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLinkCb, subList) == 16);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLinkCb) == 32);

/* The module's new control block, the registry's until ZELM_LINK_FInit; null when memory is short. */
ZELM_API void *ZELM_LINK_Init(void);
/* Releases every entry, every subscriber and the block; null is ignored. */
ZELM_API void ZELM_LINK_FInit(void *cb);
/* Orders location keys by OS node (as ZEL_AVL_Uint32Compare), then by service name (strcmp). */
ZELM_API int32_t ZELM_LINK_LocKey_Compare(const void *a, const void *b);
/* The location set's init hook: a zeroed entry without an announced index; 0xFFFFFFFF for another size. */
ZELM_API uint32_t ZelmLinkLocationTreeInit(void *entry, uint32_t size);
/* The registry's entry of (osNodeId, serviceName), or null: absent, or a name missing or longer than 63. */
ZELM_API ZelmLinkLoc *ZelmLinkFindLocation(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName);
/* A new entry, the registry's, without an announced index; null for a refused name, a present key or no memory. */
ZELM_API ZelmLinkLoc *ZelmLinkAddLocation(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName);
/* Removes the entry of (osNodeId, serviceName); nothing when absent. No event is sent. */
ZELM_API void ZelmLinkDelLocation(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName);

/* Location-status report (`userData` the LINK control block): available ones are announced, others forgotten. */
ZELM_API void ZELM_LINK_SubLocationStatus(uint32_t osNodeId, const char *serviceName, uint32_t locIndex,
                                          uint32_t available, void *userData);
/* 0 with `callback` subscribed (again: new user data, same place); 0xFFFFFFFF before start or without memory. */
ZELM_API uint32_t ZELM_LINK_SubLocationLink(ZelmLocationLinkCallback callback, void *userData);
/* Records the location under the latest server handle, adding its entry when needed, and announces its index. */
ZELM_API void ZelmLinkLocationAvailable(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName, uint32_t locIndex);
/* Announces `locIndex` for the entry, withdrawing (handle 0) the index it announced before when that differs. */
ZELM_API void ZelmLinkDealLocLinkAvailable(ZelmLinkCb *cb, ZelmLinkLoc *entry, uint32_t locIndex);
/* Delivers the event to every subscriber, in subscription order; an invalid index reaches nobody. */
ZELM_API void ZelmLinkPubLocationLink(ZelmLinkCb *cb, uint32_t locIndex, uintptr_t chanHandle);

ZELM_EXTERN_C_END

#endif
