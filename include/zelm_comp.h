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

/* ---- model ---------------------------------------------------------------------- */

ZELM_API uint32_t ZELM_COMP_GetCompNodeCfg(ZelmCompCb *cb, uint32_t compType, ZelmCompNodeCfg *out);
ZELM_API uint32_t ZELM_COMP_SetCompNodeCfg(ZelmCompCb *cb, uint32_t compType, const ZelmCompNodeCfg *cfg);
ZELM_API void ZelmCompSetState(ZelmComponent *component, uint32_t state);
ZELM_API ZelmCompLocation *ZelmCompTryAddLocation(ZelmCompCb *cb, uint32_t locIndex);
ZELM_API void ZelmCompTryDestroyLocation(ZelmCompCb *cb, uint32_t locIndex);
ZELM_API ZelmComponent *ZelmLocationTryAddComp(ZelmCompLocation *location, uint32_t compInst);
ZELM_API uint32_t ZelmCompLocationTreeInit(void *entry, uint32_t size);
ZELM_API void ZelmCompLocationTreeFini(void *entry, uint32_t size);

/* ---- messages ----------------------------------------------------------------------- */

ZELM_API uint32_t ZelmSetZelComponentMsg(const ZelmCompInstCfg *comp, const ZelmCompNodeCfg *compNode,
                                         ZelComponentMsg *msg);
ZELM_API uint32_t ZelmSetZelCompNameMsg(const ZelmCompInstCfg *comp, const ZelmCompNodeCfg *compNode,
                                        ZelComponentMsg *msg);
ZELM_API void ZelmFreeZelComponentMsg(ZelComponentMsg *msg);
ZELM_API void ZelmCompDeepFreePublishReqMsg(ZelCompPublishReqMsg *req);

/* ---- publication ------------------------------------------------------------------------ */

ZELM_API void ZelmCompTryPublishComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType,
                                          ZelmComponent *component);
ZELM_API uint32_t ZelmCompPublishComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType,
                                           const ZelmCompPublishList *list);
ZELM_API uint32_t ZelmCompSendMsgReliably(ZelmCompCb *cb, ZelmCompLocation *location, ZelCompPublishReqMsg *req);
ZELM_API void ZelmCompPublishComponentCbk(QOF_RpcResult result, void *inMsg, void *outMsg, void *userData);
ZELM_API void ZelmCompPublishUpdationDone(ZelmCompCb *cb, ZelCompPublishReqMsg *req, uint32_t result);
ZELM_API void ZelmCompPublishFaultAccess(ZelmCompCb *cb, ZelmCompLocation *location);
ZELM_API void ZelmCompPublishFaultSloved(ZelmCompCb *cb, ZelmCompLocation *location);

/* ---- location link and smoothing --------------------------------------------------------- */

ZELM_API uint32_t ZelmCompSubLocationLink(uint32_t locIndex, uintptr_t chanHandle, void *userData);
ZELM_API void ZelmCompTrySmoothComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType);
ZELM_API uint32_t ZelmCompSmoothTimerCbk(QOF_Timer *timer, void *reserved, void *userData);
ZELM_API uint32_t ZelmCompInitSmoothTimer(ZelmCompCb *cb);

/* ---- lifecycle ----------------------------------------------------------------------------- */

ZELM_API void *ZELM_COMP_Init(void);
ZELM_API void ZELM_COMP_FInit(void *cb);

/* ---- configuration handlers ---------------------------------------------------------------- */

ZELM_API uint32_t ZELM_ProcTuvComponent(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef,
                                        struct ZelmLocalData *data, QOF_RecordCtx *recordCtx);
ZELM_API uint32_t ZELM_ComponentProc(const ZelmCompInstCfg *cfg, uint16_t opCode);
ZELM_API uint32_t ZELM_COMP_AddComponentByInstCfg(ZelmCompCb *cb, const ZelmCompInstCfg *cfg);
ZELM_API uint32_t ZELM_COMP_DelComponentByInstCfg(ZelmCompCb *cb, const ZelmCompInstCfg *cfg);
ZELM_API void ZELM_ComponentDeleteByLoc(uint32_t locIndex);

ZELM_API uint32_t ZELM_ProcTuvCompNode(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef,
                                       struct ZelmLocalData *data, QOF_RecordCtx *recordCtx);
ZELM_API uint32_t ZELM_CompNodeProc(const ZelmCompNodeCfg *cfg, uint16_t opCode);
ZELM_API uint32_t ZELM_COMP_UpdateCompNodeByCfg(ZelmCompCb *cb, const ZelmCompNodeCfg *cfg);
ZELM_API uint32_t ZELM_COMP_DelCompNodeByCfg(ZelmCompCb *cb, const ZelmCompNodeCfg *cfg);
ZELM_API void ZELM_COMP_CompNodePublish(ZelmCompCb *cb, uint32_t compType, uint32_t opType);
ZELM_API void ZELM_COMP_CompPublishByCompType(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t compType,
                                              uint32_t opType);

ZELM_EXTERN_C_END

#endif
