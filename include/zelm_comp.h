/* The COMP module: component types and instances per location, their publication and configuration. */
#ifndef ZELM_COMP_H
#define ZELM_COMP_H

#include <stdint.h>

#include "platform/axo_avl3.h"
#include "platform/qof.h"
#include "zelm_api.h"
#include "zelm_config.h"
#include "zelm_set.h"

ZELM_EXTERN_C_BEGIN

/* Publication operation types. */
#define ZELM_COMP_OP_ADD 0u
#define ZELM_COMP_OP_DEL 1u
#define ZELM_COMP_OP_SMOOTH 2u

/* Publication states of a component. */
#define ZELM_COMP_STATE_CFG 0u
#define ZELM_COMP_STATE_PUBLISHED 1u
#define ZELM_COMP_STATE_FAILED 2u

#define ZELM_COMP_SMOOTH_INTERVAL 5000u

/* ---- records ------------------------------------------------------------------ */

typedef struct ZelmCompCb {
    ZelSet *locationTree;
    ZelSet *compNodeTree;
    QOF_Timer *smoothTimer;
} ZelmCompCb;
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompCb, locationTree) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompCb, compNodeTree) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompCb, smoothTimer) == 16);
ZELM_LAYOUT_ASSERT(sizeof(ZelmCompCb) == 24);

typedef struct ZelmCompLocation {
    AXO_AVL3_NODE node;
    uint32_t locIndex;
    ZelSet *componentTree;
    uintptr_t chanHandle;
    uint32_t publishFault;
} ZelmCompLocation;
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompLocation, node) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompLocation, locIndex) == 32);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompLocation, componentTree) == 40);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompLocation, chanHandle) == 48);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompLocation, publishFault) == 56);
ZELM_LAYOUT_ASSERT(sizeof(ZelmCompLocation) == 64);

typedef struct ZelmComponent {
    AXO_AVL3_NODE node;
    ZelmCompInstCfg cfg; /* cfg.compInst is the key */
    uint32_t state;
} ZelmComponent;
ZELM_LAYOUT_ASSERT(offsetof(ZelmComponent, node) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmComponent, cfg) == 32);
ZELM_LAYOUT_ASSERT(offsetof(ZelmComponent, state) == 116);
ZELM_LAYOUT_ASSERT(sizeof(ZelmComponent) == 120);

typedef struct ZelmCompNode {
    AXO_AVL3_NODE node;
    ZelmCompNodeCfg cfg; /* cfg.compType is the key */
} ZelmCompNode;
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompNode, node) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompNode, cfg) == 32);
ZELM_LAYOUT_ASSERT(sizeof(ZelmCompNode) == 208);

/* ---- messages (handed to the RPC service as they lie in memory) ----------------- */

typedef struct ZelComponentMsg {
    uint32_t compType;
    uint32_t reserved1;
    char *compTypeName;
    char *compFileName;
    char *compExtName;
    char *compInstName;
    uint32_t attr7;
    uint32_t compClass;
    uint32_t compInst;
    uint32_t attr1;
    uint32_t cfgStatus;
    uint32_t attr2;
    uint32_t locIndex;
    uint32_t attr3;
    uint32_t attr4;
    uint32_t attr5;
    uint32_t attr6;
    uint32_t attr8;
    uint32_t attr9;
    uint32_t reserved2;
} ZelComponentMsg;
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, compType) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, reserved1) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, compTypeName) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, compFileName) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, compExtName) == 24);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, compInstName) == 32);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr7) == 40);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, compClass) == 44);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, compInst) == 48);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr1) == 52);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, cfgStatus) == 56);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr2) == 60);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, locIndex) == 64);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr3) == 68);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr4) == 72);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr5) == 76);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr6) == 80);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr8) == 84);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, attr9) == 88);
ZELM_LAYOUT_ASSERT(offsetof(ZelComponentMsg, reserved2) == 92);
ZELM_LAYOUT_ASSERT(sizeof(ZelComponentMsg) == 96);

typedef struct ZelCompPublishReqMsg {
    uint32_t locIndex;
    uint32_t opType;
    uint32_t compNum;
    uint32_t reserved;
    ZelComponentMsg *compList;
} ZelCompPublishReqMsg;
ZELM_LAYOUT_ASSERT(offsetof(ZelCompPublishReqMsg, locIndex) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelCompPublishReqMsg, opType) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelCompPublishReqMsg, compNum) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelCompPublishReqMsg, reserved) == 12);
ZELM_LAYOUT_ASSERT(offsetof(ZelCompPublishReqMsg, compList) == 16);
ZELM_LAYOUT_ASSERT(sizeof(ZelCompPublishReqMsg) == 24);

/* Input of ZelmCompPublishComponent: entry i of both arrays belongs together. */
typedef struct ZelmCompPublishList {
    ZelmCompInstCfg *comps;
    ZelmCompNodeCfg *compNodes;
    uint32_t compNum;
    uint32_t reserved;
} ZelmCompPublishList;
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompPublishList, comps) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompPublishList, compNodes) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompPublishList, compNum) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompPublishList, reserved) == 20);
ZELM_LAYOUT_ASSERT(sizeof(ZelmCompPublishList) == 24);

/* ---- model ----------------------------------------------------------------------
 * Records are the module's: a pointer returned here stays valid until its record is removed or the module stops. */

/* 0 with the record of `compType` in `out` (zeros but compType for types 3, 207); 0xFFFFFFFF: `out` untouched. */
ZELM_API uint32_t ZELM_COMP_GetCompNodeCfg(ZelmCompCb *cb, uint32_t compType, ZelmCompNodeCfg *out);
/* 0 with `cfg` stored whole under `compType`; 0xFFFFFFFF (no entry, copy refused) leaves a stored record unchanged. */
ZELM_API uint32_t ZELM_COMP_SetCompNodeCfg(ZelmCompCb *cb, uint32_t compType, const ZelmCompNodeCfg *cfg);
/* Logs the switch and stores the new state; cannot fail. */
ZELM_API void ZelmCompSetState(ZelmComponent *component, uint32_t state);
/* The comp location of `locIndex`, found or new (no channel, no flag); null when the insert failed. */
ZELM_API ZelmCompLocation *ZelmCompTryAddLocation(ZelmCompCb *cb, uint32_t locIndex);
/* Removes the comp location with all its components, and its flag; nothing when absent. */
ZELM_API void ZelmCompTryDestroyLocation(ZelmCompCb *cb, uint32_t locIndex);
/* The component `compInst` of the location, found or new (zero but its key); null when the insert failed. */
ZELM_API ZelmComponent *ZelmLocationTryAddComp(ZelmCompLocation *location, uint32_t compInst);
/* The location set's hooks: make the location's empty component set (0xFFFFFFFF: no insert), and release it. */
ZELM_API uint32_t ZelmCompLocationTreeInit(void *entry, uint32_t size);
ZELM_API void ZelmCompLocationTreeFini(void *entry, uint32_t size);

/* ---- messages ---------------------------------------------------------------------
 * The entries' texts are strdup copies, released with ZelmFreeZelComponentMsg or with the whole request. */

/* 0 with the zero-filled entry filled; 0xFFFFFFFF when a text copy fails, the entry then holding nothing. */
ZELM_API uint32_t ZelmSetZelComponentMsg(const ZelmCompInstCfg *comp, const ZelmCompNodeCfg *compNode,
                                         ZelComponentMsg *msg);
/* 0 with the four texts copied; 0xFFFFFFFF at the first failed copy, the texts made so far for the caller to free. */
ZELM_API uint32_t ZelmSetZelCompNameMsg(const ZelmCompInstCfg *comp, const ZelmCompNodeCfg *compNode,
                                        ZelComponentMsg *msg);
/* Releases the entry's texts and clears them; the entry stays the caller's. */
ZELM_API void ZelmFreeZelComponentMsg(ZelComponentMsg *msg);
/* Releases every entry's texts and the entry array; the header stays the caller's, unchanged. */
ZELM_API void ZelmCompDeepFreePublishReqMsg(ZelCompPublishReqMsg *req);

/* ---- publication ------------------------------------------------------------------------
 * A request is the publisher's until the call is accepted, then the pending call's; the completion releases it. */

/* Sends one component with `opType`; skipped, with an info line, without a channel or a compNode record. */
ZELM_API void ZelmCompTryPublishComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType,
                                          ZelmComponent *component);
/* 0 when one request of the list was issued; 0xFFFFFFFF when it could not be built (no flag) or was refused. */
ZELM_API uint32_t ZelmCompPublishComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType,
                                           const ZelmCompPublishList *list);
/* 0 when the call was accepted; 0xFFFFFFFF when refused: the request's contents released, the location flagged. */
ZELM_API uint32_t ZelmCompSendMsgReliably(ZelmCompCb *cb, ZelmCompLocation *location, ZelCompPublishReqMsg *req);
/* Completion of "KorbCompSubscribe": records the answer and releases the request; a stale control block is ignored. */
ZELM_API void ZelmCompPublishComponentCbk(QOF_RpcResult result, void *inMsg, void *outMsg, void *userData);
/* Applies a result (0 success) to the location and its named components still stored; nothing without the location. */
ZELM_API void ZelmCompPublishUpdationDone(ZelmCompCb *cb, ZelCompPublishReqMsg *req, uint32_t result);
/* Flags the location and starts the smooth timer, also when it runs. */
ZELM_API void ZelmCompPublishFaultAccess(ZelmCompCb *cb, ZelmCompLocation *location);
/* Clears the location's flag; stops the smooth timer when no location is left flagged. */
ZELM_API void ZelmCompPublishFaultSloved(ZelmCompCb *cb, ZelmCompLocation *location);

/* ---- location link and smoothing --------------------------------------------------------- */

/* Link event: a handle is stored and the location smoothed, 0 forgets it; 0xFFFFFFFF without user data or location. */
ZELM_API uint32_t ZelmCompSubLocationLink(uint32_t locIndex, uintptr_t chanHandle, void *userData);
/* Sends every ready component of the location in one request with `opType`; an info line when none can go. */
ZELM_API void ZelmCompTrySmoothComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType);
/* Timer tick: republishes every flagged location; returns 0. */
ZELM_API uint32_t ZelmCompSmoothTimerCbk(QOF_Timer *timer, void *reserved, void *userData);
/* 0 with the stopped smooth timer stored in `cb`; 0xFFFFFFFF when its attributes or the timer could not be made. */
ZELM_API uint32_t ZelmCompInitSmoothTimer(ZelmCompCb *cb);

/* ---- lifecycle ----------------------------------------------------------------------------- */

/* The module's new control block, the registry's until ZELM_COMP_FInit; null on failure. */
ZELM_API void *ZELM_COMP_Init(void);
/* Releases the timer, every record and the block; null is ignored. Pending calls are not cancelled. */
ZELM_API void ZELM_COMP_FInit(void *cb);

/* ---- configuration handlers ----------------------------------------------------------------
 * The records belong to the configuration server; the handlers copy what they keep. */

/* Handler of class 0x4D30A02D: 0xFFFFFFFF when the atom cannot be read, else ZELM_ComponentProc's result. */
ZELM_API uint32_t ZELM_ProcTuvComponent(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, struct ZelmLocalData *data,
                                        QOF_RecordCtx *recordCtx);
/* Acts when bit 31 of cfgStatus is set: 0 and 1 store, 2 deletes; 0xFFFFFFFF without module or when a store failed. */
ZELM_API uint32_t ZELM_ComponentProc(const ZelmCompInstCfg *cfg, uint16_t opCode);
/* Stores the record with state 0 and publishes it; 0xFFFFFFFF when it could not be stored. */
ZELM_API uint32_t ZELM_COMP_AddComponentByInstCfg(ZelmCompCb *cb, const ZelmCompInstCfg *cfg);
/* Publishes the stored component's deletion, then forgets it; always 0. */
ZELM_API uint32_t ZELM_COMP_DelComponentByInstCfg(ZelmCompCb *cb, const ZelmCompInstCfg *cfg);
/* Withdraws every component of the location in one request, then forgets the location. */
ZELM_API void ZELM_ComponentDeleteByLoc(uint32_t locIndex);

/* Handler of class 0x5D32B983: 0xFFFFFFFF when the atom cannot be read, else ZELM_CompNodeProc's result. */
ZELM_API uint32_t ZELM_ProcTuvCompNode(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, struct ZelmLocalData *data,
                                       QOF_RecordCtx *recordCtx);
/* Codes 0 and 1 store, 2 deletes; 0xFFFFFFFF without module or when the store failed. */
ZELM_API uint32_t ZELM_CompNodeProc(const ZelmCompNodeCfg *cfg, uint16_t opCode);
/* Stores a type of non-zero class and publishes its components everywhere; 0xFFFFFFFF when it could not be stored. */
ZELM_API uint32_t ZELM_COMP_UpdateCompNodeByCfg(ZelmCompCb *cb, const ZelmCompNodeCfg *cfg);
/* Publishes the deletion of the type's components, then forgets the type; always 0. */
ZELM_API uint32_t ZELM_COMP_DelCompNodeByCfg(ZelmCompCb *cb, const ZelmCompNodeCfg *cfg);
/* Publishes the components of `compType` at every location with a channel, in key order. */
ZELM_API void ZELM_COMP_CompNodePublish(ZelmCompCb *cb, uint32_t compType, uint32_t opType);
/* Publishes each component of `compType` at the location, one request each, in key order. */
ZELM_API void ZELM_COMP_CompPublishByCompType(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t compType,
                                              uint32_t opType);

ZELM_EXTERN_C_END

#endif
