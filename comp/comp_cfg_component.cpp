/*
 * The component table handler: adds, updates and deletes component instances
 * at their locations and publishes each change; withdraws all components of
 * a location for the location handlers.
 */
#include "comp/comp_internal.h"
#include "core/zelm_log.h"
#include "core/zelm_record.h"

extern "C" {

/* Table handler of the component class. 0xFFFFFFFF when the atom cannot be read, else the processing result. */
ZELM_API uint32_t ZELM_ProcTuvComponent(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, ZelmLocalData *data,
                                        QOF_RecordCtx *recordCtx)
{
    (void)msg;
    (void)replyRef;
    (void)data;
    (void)recordCtx;
    uint16_t opCode = 0;
    if (QOF_GetAtomOpCode(atom, &opCode) != 0) {
        ZELM_LOG_ERROR("ZELM Proc component table get opcode failed.");
        return ZELM_ERR;
    }
    void *record = nullptr;
    if (QOF_GetRecData(atom, &record) != 0 || record == nullptr) {
        ZELM_LOG_ERROR("ZELM Proc component table get RecData failed.");
        return ZELM_ERR;
    }
    return ZELM_ComponentProc(static_cast<const ZelmCompInstCfg *>(record), opCode);
}

/*
 * Acts on a record only when bit 31 of its cfgStatus is set: 0 and 1 store,
 * 2 deletes, other codes do nothing. 0xFFFFFFFF when the module is not
 * started or the store failed.
 */
ZELM_API uint32_t ZELM_ComponentProc(const ZelmCompInstCfg *cfg, uint16_t opCode)
{
    auto *cb = static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("ZELM Proc component table get compCb failed.");
        return ZELM_ERR;
    }
    if (cfg == nullptr) {
        return ZELM_ERR;
    }
    if (cfg->cfgStatus >= 0) {
        ZELM_LOG_INFO("zelm comp, comp proc by instcfg ignore. compInstName %s(%u) locIndex %u cfgStatus %#x",
                      ZelmLogTextOf(cfg->compInstName).text, cfg->compInst, cfg->locIndex,
                      static_cast<uint32_t>(cfg->cfgStatus));
        return ZELM_OK;
    }
    switch (opCode) {
    case ZELM_CFG_OP_ADD:
    case ZELM_CFG_OP_MOD:
        return ZELM_COMP_AddComponentByInstCfg(cb, cfg);
    case ZELM_CFG_OP_DEL:
        return ZELM_COMP_DelComponentByInstCfg(cb, cfg);
    default:
        return ZELM_OK;
    }
}

/*
 * Stores the record at its location (both made when missing) with state 0
 * and publishes it. 0xFFFFFFFF when the location or the component could not
 * be had, or the copy was refused: a location made by this call then stays,
 * empty, a component made by it is deleted again, and a component already
 * stored keeps its record and state.
 */
ZELM_API uint32_t ZELM_COMP_AddComponentByInstCfg(ZelmCompCb *cb, const ZelmCompInstCfg *cfg)
{
    if (cb == nullptr || cfg == nullptr) {
        return ZELM_ERR;
    }
    ZelmCompLocation *location = ZelmCompTryAddLocation(cb, cfg->locIndex);
    if (location == nullptr) {
        ZELM_LOG_ERROR("zelm comp, add comp by instcfg failed. compInstName %s(%u) locIndex %u",
                       ZelmLogTextOf(cfg->compInstName).text, cfg->compInst, cfg->locIndex);
        return ZELM_ERR;
    }
    const uint32_t stored = ZEL_SET_Count(location->componentTree);
    ZelmComponent *component = ZelmLocationTryAddComp(location, cfg->compInst);
    if (component == nullptr) {
        ZELM_LOG_ERROR("zelm comp, add comp inst to location failed. compInstName %s(%u) locIndex %u",
                       ZelmLogTextOf(cfg->compInstName).text, cfg->compInst, cfg->locIndex);
        return ZELM_ERR;
    }
    if (ZelmCopyRecord(&component->cfg, *cfg) != ZELM_OK) {
        ZelSetUndoInsertU32(location->componentTree, stored, cfg->compInst);
        return ZELM_ERR;
    }
    component->state = ZELM_COMP_STATE_CFG;
    ZelmCompTryPublishComponent(cb, location, ZELM_COMP_OP_ADD, component);
    ZELM_LOG_INFO("zelm comp, add comp inst to location ok. compInstName %s(%u) locIndex %u",
                  ZelmLogTextOf(cfg->compInstName).text, cfg->compInst, cfg->locIndex);
    return ZELM_OK;
}

/*
 * Publishes the deletion of the stored component, then forgets it; its
 * location stays. Always 0, also when there was nothing to delete.
 */
ZELM_API uint32_t ZELM_COMP_DelComponentByInstCfg(ZelmCompCb *cb, const ZelmCompInstCfg *cfg)
{
    if (cb == nullptr || cfg == nullptr) {
        return ZELM_OK;
    }
    ZelmCompLocation *location = ZelSetFindU32<ZelmCompLocation>(cb->locationTree, cfg->locIndex);
    if (location == nullptr) {
        ZELM_LOG_INFO("zelm comp, delete comp by instcfg Not find location. compInstName %s(%u) locIndex %u",
                      ZelmLogTextOf(cfg->compInstName).text, cfg->compInst, cfg->locIndex);
        return ZELM_OK;
    }
    ZelmComponent *component = ZelSetFindU32<ZelmComponent>(location->componentTree, cfg->compInst);
    if (component == nullptr) {
        ZELM_LOG_INFO("zelm comp, delete comp by instcfg Not find component. compInstName %s(%u) locIndex %u",
                      ZelmLogTextOf(cfg->compInstName).text, cfg->compInst, cfg->locIndex);
        return ZELM_OK;
    }
    ZelmCompTryPublishComponent(cb, location, ZELM_COMP_OP_DEL, component);
    ZelSetDeleteU32(location->componentTree, cfg->compInst);
    return ZELM_OK;
}

/* Withdraws every component of the location in one request, then forgets the location. */
ZELM_API void ZELM_ComponentDeleteByLoc(uint32_t locIndex)
{
    auto *cb = static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("ZELM delete component by locIndex get compCb failed.");
        return;
    }
    ZelmCompLocation *location = ZelSetFindU32<ZelmCompLocation>(cb->locationTree, locIndex);
    if (location != nullptr) {
        ZelmCompTrySmoothComponent(cb, location, ZELM_COMP_OP_DEL);
        ZelmCompTryDestroyLocation(cb, locIndex);
    }
    ZELM_LOG_INFO("zelm comp, delete comp by locIndex %u finished.", locIndex);
}

}  // extern "C"
