/* Configuration intake: the message table, the table dispatch and the four configuration records. */
#ifndef ZELM_CONFIG_H
#define ZELM_CONFIG_H

#include <stdint.h>

#include "platform/qof.h"
#include "zelm_api.h"

ZELM_EXTERN_C_BEGIN

#define ZELM_CLASS_LOCATION 0x4D30A02Bu
#define ZELM_CLASS_LOGIC_LOC_GRP 0x4D30A031u
#define ZELM_CLASS_COMPONENT 0x4D30A02Du
#define ZELM_CLASS_COMP_NODE 0x5D32B983u
#define ZELM_MSG_TABLE_NUM 4u

/* Atom operation codes: 0 and 1 store, 2 deletes, anything else is accepted without effect. */
#define ZELM_CFG_OP_ADD 0u
#define ZELM_CFG_OP_MOD 1u
#define ZELM_CFG_OP_DEL 2u

struct ZelmLocalData;

/* A table handler: called once per atom of its class; its result is recorded for the atom. */
typedef uint32_t (*ZelmTableHandler)(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, struct ZelmLocalData *data,
                                     QOF_RecordCtx *recordCtx);

typedef struct ZelmMsgTableEntry {
    uint32_t regArg;
    uint32_t classId;
    ZelmTableHandler handler;
} ZelmMsgTableEntry;
ZELM_LAYOUT_ASSERT(offsetof(ZelmMsgTableEntry, regArg) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmMsgTableEntry, classId) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelmMsgTableEntry, handler) == 8);
ZELM_LAYOUT_ASSERT(sizeof(ZelmMsgTableEntry) == 16);

/* Location record, class 0x4D30A02B (140 bytes). */
typedef struct ZelmLocInstCfg {
    uint32_t LocId;
    uint32_t LocType;
    char LocName[32];
    uint32_t OsInst;
    uint32_t LocGrp;
    uint32_t LocParam1;
    uint32_t Lrid;
    uint32_t LocParam2;
    uint32_t LocParam3;
    uint32_t LocParam4;
    uint32_t LocParam5;
    uint32_t LocParam6;
    char imageName[32];
    char LocExtName[32];
} ZelmLocInstCfg;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocId) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocType) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocName) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, OsInst) == 40);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocGrp) == 44);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocParam1) == 48);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, Lrid) == 52);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocParam2) == 56);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocParam3) == 60);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocParam4) == 64);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocParam5) == 68);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocParam6) == 72);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, imageName) == 76);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLocInstCfg, LocExtName) == 108);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLocInstCfg) == 140);

/* Logic location group record, class 0x4D30A031 (24 bytes). */
typedef struct ZelmLogicLocGrpCfg {
    uint32_t locIndex;
    uint32_t logicId;
    uint32_t faultPolicy;
    uint32_t grpParam1;
    uint32_t grpParam2;
    uint32_t grpParam3;
} ZelmLogicLocGrpCfg;
ZELM_LAYOUT_ASSERT(offsetof(ZelmLogicLocGrpCfg, locIndex) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLogicLocGrpCfg, logicId) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLogicLocGrpCfg, faultPolicy) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLogicLocGrpCfg, grpParam1) == 12);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLogicLocGrpCfg, grpParam2) == 16);
ZELM_LAYOUT_ASSERT(offsetof(ZelmLogicLocGrpCfg, grpParam3) == 20);
ZELM_LAYOUT_ASSERT(sizeof(ZelmLogicLocGrpCfg) == 24);

/* Component record, class 0x4D30A02D (84 bytes). */
typedef struct ZelmCompInstCfg {
    uint32_t compInst;
    uint32_t compType;
    char compInstName[32];
    uint32_t attr1;
    int32_t cfgStatus; /* acted on only when bit 31 is set */
    uint32_t attr2;
    uint32_t locIndex;
    uint32_t attr3;
    uint32_t attr4;
    uint32_t attr5;
    uint32_t attr6;
    uint32_t attr7;
    uint32_t attr8;
    uint32_t attr9;
} ZelmCompInstCfg;
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, compInst) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, compType) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, compInstName) == 8);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr1) == 40);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, cfgStatus) == 44);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr2) == 48);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, locIndex) == 52);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr3) == 56);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr4) == 60);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr5) == 64);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr6) == 68);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr7) == 72);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr8) == 76);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompInstCfg, attr9) == 80);
ZELM_LAYOUT_ASSERT(sizeof(ZelmCompInstCfg) == 84);

/* Component type (compNode) record, class 0x5D32B983 (172 bytes). */
typedef struct ZelmCompNodeCfg {
    uint32_t compType;
    char compTypeName[32];
    uint32_t compClass; /* 0: not a QOF component, never stored */
    char compFileName[64];
    char compExtName[68];
} ZelmCompNodeCfg;
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompNodeCfg, compType) == 0);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompNodeCfg, compTypeName) == 4);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompNodeCfg, compClass) == 36);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompNodeCfg, compFileName) == 40);
ZELM_LAYOUT_ASSERT(offsetof(ZelmCompNodeCfg, compExtName) == 104);
ZELM_LAYOUT_ASSERT(sizeof(ZelmCompNodeCfg) == 172);

/* 0 with the table copied and the four classes registered; 0xFFFFFFFF: copy released, earlier classes stay. */
ZELM_API uint32_t ZELM_RegisterMsgTable(struct ZelmLocalData *data);
/* The one handler of the four classes (`userData` the library's record): 0 once the atoms were taken through. */
ZELM_API uint32_t ZelmProcTuvTableMsg(void *userData, QOF_Msg *msg, QOF_RecordCtx *recordCtx);
/* Hands one atom to its class's handler and records the code; 0xFFFFFFFF stops the message. */
ZELM_API uint32_t ZelmProTuvCfgAtom(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, struct ZelmLocalData *data,
                                    QOF_RecordCtx *recordCtx);
/* Adds the atom's op-info area (and for a non-zero code an info item); 0xFFFFFFFF when the reply refuses. */
ZELM_API uint32_t ZelmProcAddOpInfoArea(QOF_Msg **replyRef, QOF_Atom *atom, uint32_t code);

ZELM_EXTERN_C_END

#endif
