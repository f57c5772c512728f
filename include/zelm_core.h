/* Library lifecycle, module registry and memory hooks: the host's entry points. */
#ifndef ZELM_CORE_H
#define ZELM_CORE_H

#include <stddef.h>
#include <stdint.h>

#include "zelm_api.h"
#include "zelm_config.h"

ZELM_EXTERN_C_BEGIN

#define ZELM_MOD_INFRA 0u
#define ZELM_MOD_LINK 1u
#define ZELM_MOD_LOCATION 2u
#define ZELM_MOD_COMP 3u
#define ZELM_MOD_NUM 4u

typedef void *(*ZelmMallocFn)(size_t size);
typedef void (*ZelmFreeFn)(void *ptr);

/* A module's start returns its control block (null: failure); its stop takes it back (null tolerated). */
typedef void *(*ZelmModInitFn)(void);
typedef void (*ZelmModFInitFn)(void *cb);

typedef struct ZelmModSlot {
    void *cb;
    ZelmModInitFn initFn;
} ZelmModSlot;
ZELM_LAYOUT_ASSERT(offsetof(ZelmModSlot, cb) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmModSlot, initFn) == 8);
ZELM_LAYOUT_ASSERT(sizeof(ZelmModSlot) == 16);

/* The library's one record, published in g_zelmLocalData; its field order is part of the interface. */
typedef struct ZelmLocalData {
    ZelmMallocFn mallocFn;
    ZelmFreeFn freeFn;
    ZelmModSlot mods[ZELM_MOD_NUM];
    ZelmMsgTableEntry *msgTable;
    uint32_t msgTableNum;
} ZelmLocalData;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocalData, mallocFn) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocalData, freeFn) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocalData, mods) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocalData, msgTable) == 80);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocalData, msgTableNum) == 88);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLocalData) == 96);

/* Null while the library is stopped. */
ZELM_API extern ZelmLocalData *g_zelmLocalData;

/*
 * Starts the library with the host's allocator. 0 on success, and 0 without
 * effect when already started; 0xFFFFFFFF on failure, after which the library
 * may be partly started and ZELM_FInit cleans up.
 */
ZELM_API uint32_t ZELM_Init(ZelmMallocFn mallocFn, ZelmFreeFn freeFn);
/* Stops the library and releases everything it holds; does nothing when stopped. */
ZELM_API void ZELM_FInit(void);
/* 0 with the four modules started in order; 0xFFFFFFFF at the first that fails, those before it left running. */
ZELM_API uint32_t ZelmInitMods(ZelmLocalData *data);
/* Stops, in reverse order, every module whose slot holds a control block. */
ZELM_API void ZelmFInitMods(ZelmLocalData *data);
/* The control block of a module, owned by the module, or null (unknown module, library stopped). */
ZELM_API void *ZELM_GetModCb(uint32_t modId);
/* The library's record, owned by the library, or null while stopped. */
ZELM_API ZelmLocalData *ZELM_GetLocalData(void);
/* A block from the host's allocator, the caller's until ZELM_Free; null for size 0, while stopped or without memory. */
ZELM_API void *ZELM_Malloc(size_t size);
/* Returns a block to the host; null is ignored, and so is any block while stopped. */
ZELM_API void ZELM_Free(void *ptr);

ZELM_EXTERN_C_END

#endif
