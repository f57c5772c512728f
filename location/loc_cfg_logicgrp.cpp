/*
 * The logic location group table's handlers: a group travels in the
 * publication of the location with its locIndex. Storing a group republishes
 * that location; deleting it withdraws the location's components and the
 * location at the agents, while the location instance stays stored.
 */
#include <stddef.h>

#include "core/zelm_log.h"
#include "location/loc_internal.h"

extern "C" {

/*
 * Table handler of the logic group class: reads the atom's operation code and
 * record and routes them. 0xFFFFFFFF when the atom cannot be read or the
 * module is not started.
 */
ZELM_API uint32_t ZELM_ProcTuvLocLogicGrp(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, ZelmLocalData *data,
                                          QOF_RecordCtx *recordCtx)
{
    (void)msg;
    (void)replyRef;
    (void)data;
    (void)recordCtx;
    uint16_t opCode = 0;
    if (QOF_GetAtomOpCode(atom, &opCode) != 0) {
        ZELM_LOG_ERROR("Zelm Proc loc logic group table get opcode failed.");
        return ZELM_ERR;
    }
    void *record = nullptr;
    if (QOF_GetRecData(atom, &record) != 0 || record == nullptr) {
        ZELM_LOG_ERROR("Zelm Proc loc logic group table get RecData failed.");
        return ZELM_ERR;
    }
    return ZELM_LocLogicGrpProc(static_cast<const ZelmLogicLocGrpCfg *>(record), opCode);
}

/* Routes a logic group record by operation code: 0 and 1 store, 2 deletes, others do nothing. */
ZELM_API uint32_t ZELM_LocLogicGrpProc(const ZelmLogicLocGrpCfg *cfg, uint16_t opCode)
{
    auto *cb = static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("ZELM Proc locLogic group table get locationCb failed.");
        return ZELM_ERR;
    }
    switch (opCode) {
    case ZELM_CFG_OP_ADD:
    case ZELM_CFG_OP_MOD:
        return ZelmProcTuvCreateLogicLocGrp(cfg, cb);
    case ZELM_CFG_OP_DEL:
        return ZelmProcTuvDeleteLogicLocGrp(cfg, cb);
    default:
        return ZELM_OK;
    }
}

/*
 * Stores the group of the record's locIndex and republishes that location,
 * when it exists, with opType 0. 0xFFFFFFFF only when the group cannot be stored.
 */
ZELM_API uint32_t ZelmProcTuvCreateLogicLocGrp(const ZelmLogicLocGrpCfg *cfg, locationCb *cb)
{
    ZELM_LOG_INFO("[Zelm]Try Create LogicLocGrp, locIndex(%u) logicId(%u) faultPolicy(%u)", cfg->locIndex, cfg->logicId,
                  cfg->faultPolicy);
    LogicLocGrp *grp = ZelmTryAddLogicGrpInst(cb, cfg->locIndex);
    if (grp == nullptr) {
        ZELM_LOG_ERROR("zelm LogicLocGrp, add inst by instcfg failed. locIndex %u (logicId %u) faultPolicy %u",
                       cfg->locIndex, cfg->logicId, cfg->faultPolicy);
        return ZELM_ERR;
    }
    grp->grpCfg = *cfg;
    locationInst *loc = ZelmTryFindLocationInst(cb, cfg->locIndex);
    if (loc != nullptr) {
        ZelmTryPublishLocationInst(cb, ZELM_LOC_OP_ADD, loc);
    }
    ZELM_LOG_INFO("[Zelm] create logic group ok. logicId %u, logindex %u", cfg->logicId, cfg->locIndex);
    return ZELM_OK;
}

/*
 * Forgets the group of the record's locIndex. When its location exists, the
 * location's components and then the location (with the stored group) are
 * withdrawn first; the location instance stays. Always 0.
 */
ZELM_API uint32_t ZelmProcTuvDeleteLogicLocGrp(const ZelmLogicLocGrpCfg *cfg, locationCb *cb)
{
    ZELM_LOG_INFO("[Zelm]Try delete LogicLocGrp, locIndex(%u) logicId(%u) faultPolicy(%u)", cfg->locIndex, cfg->logicId,
                  cfg->faultPolicy);
    if (ZelmTryFindLogicGrpInst(cb, cfg->locIndex) == nullptr) {
        ZELM_LOG_INFO("zelm LogicLocGrp, not find inst by instcfg. locIndex %u (logicId %u) faultPolicy %u",
                      cfg->locIndex, cfg->logicId, cfg->faultPolicy);
        return ZELM_OK;
    }
    locationInst *loc = ZelmTryFindLocationInst(cb, cfg->locIndex);
    if (loc != nullptr) {
        ZELM_ComponentDeleteByLoc(cfg->locIndex);
        ZelmTryPublishLocationInst(cb, ZELM_LOC_OP_DEL, loc);
    }
    ZelmTryDestroyLogicGrpInst(cb, cfg->locIndex);
    ZELM_LOG_INFO("[Zelm] delete logic group ok. logicId %u, logindex %u", cfg->logicId, cfg->locIndex);
    return ZELM_OK;
}

}  // extern "C"
