/* The LOCATION module: location instances, logic groups, OS nodes, their publication and configuration. */
#ifndef ZELM_LOCATION_H
#define ZELM_LOCATION_H

#include <stdint.h>

#include "platform/axo_avl3.h"
#include "platform/qof.h"
#include "zelm_api.h"
#include "zelm_config.h"
#include "zelm_set.h"

ZELM_EXTERN_C_BEGIN

/* Publication operation types. */
#define ZELM_LOC_OP_ADD 0u
#define ZELM_LOC_OP_DEL 1u
#define ZELM_LOC_OP_SMOOTH 2u

/* Publication states of a location. */
#define ZELM_LOC_STATE_CFG 0u
#define ZELM_LOC_STATE_PUBLISHED 1u
#define ZELM_LOC_STATE_FAILED 2u

#define ZELM_LOC_OSNODE_MASK 0xFFFFFFu
#define ZELM_LOC_SMOOTH_INTERVAL 5000u

/* ---- records ---------------------------------------------------------------- */

typedef struct locationCb {
    ZelSet *locationInstTree;
    ZelSet *logicGrpInstTree;
    ZelSet *osNodeTree;
    QOF_Timer *smoothTimer;
} locationCb;
ZELM_LAYOUT_ASSERT(offsetof(locationCb, locationInstTree) == 0);
ZELM_LAYOUT_ASSERT(offsetof(locationCb, logicGrpInstTree) == 8);
ZELM_LAYOUT_ASSERT(offsetof(locationCb, osNodeTree) == 16);
ZELM_LAYOUT_ASSERT(offsetof(locationCb, smoothTimer) == 24);
ZELM_LAYOUT_ASSERT(sizeof(locationCb) == 32);

typedef struct locationInst {
    AXO_AVL3_NODE node;
    uint32_t osNodeId;      /* OsInst AND 0xFFFFFF */
    ZelmLocInstCfg instCfg; /* instCfg.LocId is the key */
    uint32_t publishState;
} locationInst;
ZELM_LAYOUT_ASSERT(offsetof(locationInst, node) == 0);
ZELM_LAYOUT_ASSERT(offsetof(locationInst, osNodeId) == 32);
ZELM_LAYOUT_ASSERT(offsetof(locationInst, instCfg) == 36);
ZELM_LAYOUT_ASSERT(offsetof(locationInst, publishState) == 176);
ZELM_LAYOUT_ASSERT(sizeof(locationInst) == 184);

typedef struct osNodeInst {
    AXO_AVL3_NODE node;
    uint32_t osNodeId;
    uintptr_t chanHandle;
    uint32_t publishFault;
} osNodeInst;
ZELM_LAYOUT_ASSERT(offsetof(osNodeInst, node) == 0);
ZELM_LAYOUT_ASSERT(offsetof(osNodeInst, osNodeId) == 32);
ZELM_LAYOUT_ASSERT(offsetof(osNodeInst, chanHandle) == 40);
ZELM_LAYOUT_ASSERT(offsetof(osNodeInst, publishFault) == 48);
ZELM_LAYOUT_ASSERT(sizeof(osNodeInst) == 56);

typedef struct LogicLocGrp {
    AXO_AVL3_NODE node;
    ZelmLogicLocGrpCfg grpCfg; /* grpCfg.locIndex is the key */
} LogicLocGrp;
ZELM_LAYOUT_ASSERT(offsetof(LogicLocGrp, node) == 0);
ZELM_LAYOUT_ASSERT(offsetof(LogicLocGrp, grpCfg) == 32);
ZELM_LAYOUT_ASSERT(sizeof(LogicLocGrp) == 56);

/* ---- messages (handed to the RPC service as they lie in memory) --------------- */

typedef struct ZelLocationMsg {
    uint32_t LocId;
    uint32_t LocType;
    char *LocName;
    uint32_t OsInst;
    uint32_t LocGrp;
    uint32_t LocParam1;
    uint32_t Lrid;
    uint32_t LocParam2;
    uint32_t LocParam3;
    uint32_t LocParam4;
    uint32_t LocParam5;
    uint32_t LocParam6;
    uint32_t reserved1;
    char *imageName;
    char *LocExtName;
    uint32_t logicId;
    uint32_t faultPolicy;
    uint32_t grpParam1;
    uint32_t grpParam2;
    uint32_t grpParam3;
    uint32_t reserved2;
} ZelLocationMsg;
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocId) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocType) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocName) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, OsInst) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocGrp) == 20);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocParam1) == 24);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, Lrid) == 28);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocParam2) == 32);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocParam3) == 36);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocParam4) == 40);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocParam5) == 44);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocParam6) == 48);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, reserved1) == 52);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, imageName) == 56);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, LocExtName) == 64);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, logicId) == 72);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, faultPolicy) == 76);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, grpParam1) == 80);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, grpParam2) == 84);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, grpParam3) == 88);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocationMsg, reserved2) == 92);
ZELM_LAYOUT_ASSERT(sizeof(ZelLocationMsg) == 96);

typedef struct ZelLocPublishReqMsg {
    uint32_t opType;
    uint32_t locNum;
    ZelLocationMsg *locationList;
} ZelLocPublishReqMsg;
ZELM_LAYOUT_ASSERT(offsetof(ZelLocPublishReqMsg, opType) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocPublishReqMsg, locNum) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelLocPublishReqMsg, locationList) == 8);
ZELM_LAYOUT_ASSERT(sizeof(ZelLocPublishReqMsg) == 16);

/* Input of ZelmLocPublishLocationInst: entry i of both arrays belongs together. */
typedef struct ZelmLocPublishList {
    ZelmLocInstCfg *locInsts;
    ZelmLogicLocGrpCfg *logicGrps;
    uint32_t locNum;
    uint32_t reserved;
} ZelmLocPublishList;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocPublishList, locInsts) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocPublishList, logicGrps) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocPublishList, locNum) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocPublishList, reserved) == 20);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLocPublishList) == 24);

typedef QOF_RpcCbPair ZelmLocRpcCbInfo;
typedef QOF_RpcResult ZelmLocRpcResult;

/* ---- instance trees ------------------------------------------------------------
 * Records are the module's: a pointer returned here stays valid until its record is removed or the module stops. */

/* The location of `locIndex`, found or new (zero but its key); null when the insert failed. */
ZELM_API locationInst *ZelmTryAddLocationInst(locationCb *cb, uint32_t locIndex);
/* The location of `locIndex`, or null. */
ZELM_API locationInst *ZelmTryFindLocationInst(locationCb *cb, uint32_t locIndex);
/* Removes the location of `locIndex`; nothing when absent. Publishes and logs nothing. */
ZELM_API void ZelmTryDestroyLocationInst(locationCb *cb, uint32_t locIndex);
/* The logic group of `locIndex`, found or new (zero but its key); null when the insert failed. */
ZELM_API LogicLocGrp *ZelmTryAddLogicGrpInst(locationCb *cb, uint32_t locIndex);
/* The logic group of `locIndex`, or null. */
ZELM_API LogicLocGrp *ZelmTryFindLogicGrpInst(locationCb *cb, uint32_t locIndex);
/* Removes the logic group of `locIndex`; nothing when absent. */
ZELM_API void ZelmTryDestroyLogicGrpInst(locationCb *cb, uint32_t locIndex);
/* The OS node's record, found or new (no channel, no flag); null when the insert failed. */
ZELM_API osNodeInst *ZelmLocTryAddOsNode(locationCb *cb, uint32_t osNodeId);
/* The OS node's record, or null. */
ZELM_API osNodeInst *ZelmLocTryFindOsNode(locationCb *cb, uint32_t osNodeId);
/* Removes the OS node's record, and its flag; nothing when absent. Its locations stay. */
ZELM_API void ZelmLocTryDestroyOsnode(locationCb *cb, uint32_t osNodeId);
/* 0 with the three trees made; 0xFFFFFFFF with those made destroyed again (their slots keep their values). */
ZELM_API uint32_t ZELM_LOCATION_InitTree(locationCb *cb);

/* ---- messages --------------------------------------------------------------------
 * The entries' texts are strdup copies, released with ZelmFreeZelLocationMsg or with the whole request. */

/* 0 with the entry's configuration part filled; 0xFFFFFFFF when a text copy fails, those made left to the caller. */
ZELM_API uint32_t ZelmSetZelLocationInstMsg(const ZelmLocInstCfg *cfg, ZelLocationMsg *msg);
/* Copies the group's five carried values into the entry; cannot fail. */
ZELM_API void ZelmSetZelLogicGrpInstMsg(const ZelmLogicLocGrpCfg *grp, ZelLocationMsg *msg);
/* Releases the entry's texts and clears them; the entry stays the caller's. */
ZELM_API void ZelmFreeZelLocationMsg(ZelLocationMsg *msg);
/* Releases every entry's texts and the entry list; the 16-byte request stays the caller's, unchanged. */
ZELM_API void ZelmLocInstDeepFreePublishReqMsg(ZelLocPublishReqMsg *req);

/* ---- publication ------------------------------------------------------------------
 * A request is the publisher's until the call is accepted, then the pending call's; the completion releases it. */

/* Sends one location with `opType` while the HA role allows it; an info line when its OS node has no channel. */
ZELM_API void ZelmTryPublishLocationInst(locationCb *cb, uint32_t opType, locationInst *inst);
/* 0 when one request of the list was issued; 0xFFFFFFFF when it could not be built (no flag) or was refused. */
ZELM_API uint32_t ZelmLocPublishLocationInst(locationCb *cb, osNodeInst *osNode, uint32_t opType,
                                             const ZelmLocPublishList *list);
/* 0 when the call was accepted; 0xFFFFFFFF when refused: the request's list released, the OS node flagged. */
ZELM_API uint32_t ZelmLocationSendMsgReliably(locationCb *cb, osNodeInst *osNode, ZelLocPublishReqMsg *req);
/* Completion of "KorbLocSubscribe": records the answer and releases the request; a stale control block is ignored. */
ZELM_API void ZelmLocPublishLocationInstCbk(ZelmLocRpcResult result, void *inMsg, void *outMsg, void *userData);
/* Applies a result (0 success) to the OS node and its listed locations still stored; nothing without the OS node. */
ZELM_API void ZelmLocationPublishUpdationDone(locationCb *cb, ZelLocPublishReqMsg *req, uint32_t failed);
/* Flags the OS node and starts the smooth timer, also when it runs. */
ZELM_API void ZelmLocationPublishFaultAccess(locationCb *cb, osNodeInst *osNode);
/* Clears the OS node's flag; stops the smooth timer when no OS node is left flagged. */
ZELM_API void ZelmLocationPublishFaultSloved(locationCb *cb, osNodeInst *osNode);

/* ---- OS-node link and smoothing ---------------------------------------------------- */

/* Link report: up stores the agent's handle and, with the HA role, smooths the node; down forgets it. Returns 0. */
ZELM_API uint32_t ZelmLocSubOsNodeLink(uint32_t osid, const uint32_t *position, uint32_t linkState, void *userData);
/* Sends all locations of the OS node in one request with opType 2; an info line when none can go. */
ZELM_API void ZelmLocTrySmoothOsnodeInst(locationCb *cb, osNodeInst *osNode);
/* Copies the node's locations and their groups into the arrays, in key order; returns how many. */
ZELM_API uint32_t ZelmLocTrySmoothSetLocationInst(locationCb *cb, osNodeInst *osNode, ZelmLocInstCfg *locInsts,
                                                  ZelmLogicLocGrpCfg *logicGrps);
/* Timer tick: republishes every flagged OS node; returns 0. */
ZELM_API uint32_t ZelmLocSmoothTimerCbk(QOF_Timer *timer, void *reserved, void *userData);
/* 0 with the stopped smooth timer stored in `cb`; 0xFFFFFFFF when its attributes or the timer could not be made. */
ZELM_API uint32_t ZelmLocInitSmoothTimer(locationCb *cb);

/* ---- lifecycle ------------------------------------------------------------------------ */

/* The module's new control block, the registry's until ZELM_LOCATION_FInit; null on failure. */
ZELM_API void *ZELM_LOCATION_Init(void);
/* Releases the timer, every record and the block; null is ignored. Nothing is sent to the agents. */
ZELM_API void ZELM_LOCATION_FInit(void *cb);

/* ---- configuration handlers ------------------------------------------------------------
 * The records belong to the configuration server; the handlers copy what they keep. */

/* Handler of class 0x4D30A02B: 0xFFFFFFFF when the atom cannot be read, else ZELM_LocationProc's result. */
ZELM_API uint32_t ZELM_ProcTuvLocation(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, struct ZelmLocalData *data,
                                       QOF_RecordCtx *recordCtx);
/* Codes 0 and 1 store, 2 deletes; 0xFFFFFFFF without module or when the store failed. */
ZELM_API uint32_t ZELM_LocationProc(const ZelmLocInstCfg *cfg, uint16_t opCode);
/* Stores and publishes a location whose image is a service image; any other is ignored with 0. */
ZELM_API uint32_t ZelmProcTuvCreateLocation(const ZelmLocInstCfg *cfg, locationCb *cb);
/* Withdraws a location whose image is a service image; any other is ignored with 0. */
ZELM_API uint32_t ZelmProcTuvDeleteLocation(const ZelmLocInstCfg *cfg, locationCb *cb);
/* Stores the location (state 0) and publishes it; 0xFFFFFFFF only when it could not be stored. */
ZELM_API uint32_t ZelmProcCreateLocation(const ZelmLocInstCfg *cfg, locationCb *cb);
/* Forgets the location, withdrawing it and its components first once published; always 0. */
ZELM_API uint32_t ZelmProcDeleteLocation(const ZelmLocInstCfg *cfg, locationCb *cb);

/* Handler of class 0x4D30A031: 0xFFFFFFFF when the atom cannot be read, else ZELM_LocLogicGrpProc's result. */
ZELM_API uint32_t ZELM_ProcTuvLocLogicGrp(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, struct ZelmLocalData *data,
                                          QOF_RecordCtx *recordCtx);
/* Codes 0 and 1 store, 2 deletes; 0xFFFFFFFF without module or when the store failed. */
ZELM_API uint32_t ZELM_LocLogicGrpProc(const ZelmLogicLocGrpCfg *cfg, uint16_t opCode);
/* Stores the group and republishes its location; 0xFFFFFFFF only when it could not be stored. */
ZELM_API uint32_t ZelmProcTuvCreateLogicLocGrp(const ZelmLogicLocGrpCfg *cfg, locationCb *cb);
/* Forgets the group, withdrawing its location's components and the location first; always 0. */
ZELM_API uint32_t ZelmProcTuvDeleteLogicLocGrp(const ZelmLogicLocGrpCfg *cfg, locationCb *cb);

ZELM_EXTERN_C_END

#endif
