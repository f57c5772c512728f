/*
 * The component type (compNode) table handler: stores and forgets component
 * types, and tells every location with a channel about the components of a
 * type when the type is added, changed or removed.
 */
#include "comp/comp_internal.h"
#include "core/zelm_log.h"

/* Fills the class place of the ignore lines; the class itself is only tested against 0. */
static constexpr char kNotQofClass[] = "Not QOF";

extern "C" {

/* Table handler of the compNode class. 0xFFFFFFFF when the atom cannot be read, else the processing result. */
ZELM_API uint32_t ZELM_ProcTuvCompNode(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, ZelmLocalData *data,
                                       QOF_RecordCtx *recordCtx)
{
    (void)msg;
    (void)replyRef;
    (void)data;
    (void)recordCtx;
    uint16_t opCode = 0;
    if (QOF_GetAtomOpCode(atom, &opCode) != 0) {
        ZELM_LOG_ERROR("ZELM Proc compNode table get opcode failed.");
        return ZELM_ERR;
    }
    void *record = nullptr;
    if (QOF_GetRecData(atom, &record) != 0 || record == nullptr) {
        ZELM_LOG_ERROR("ZELM Proc compNode table get RecData failed.");
        return ZELM_ERR;
    }
    return ZELM_CompNodeProc(static_cast<const ZelmCompNodeCfg *>(record), opCode);
}

/* Codes 0 and 1 store, 2 deletes, others do nothing. 0xFFFFFFFF when the module is not started or the store failed. */
ZELM_API uint32_t ZELM_CompNodeProc(const ZelmCompNodeCfg *cfg, uint16_t opCode)
{
    auto *cb = static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("ZELM Proc compNode table get compCb failed.");
        return ZELM_ERR;
    }
    if (cfg == nullptr) {
        return ZELM_ERR;
    }
    switch (opCode) {
    case ZELM_CFG_OP_ADD:
    case ZELM_CFG_OP_MOD:
        return ZELM_COMP_UpdateCompNodeByCfg(cb, cfg);
    case ZELM_CFG_OP_DEL:
        (void)ZELM_COMP_DelCompNodeByCfg(cb, cfg);
        return ZELM_OK;
    default:
        return ZELM_OK;
    }
}

/*
 * Stores a type of non-zero class, replacing any record of the type, and
 * publishes its components everywhere. 0xFFFFFFFF when it could not be
 * stored; nothing is published then.
 */
ZELM_API uint32_t ZELM_COMP_UpdateCompNodeByCfg(ZelmCompCb *cb, const ZelmCompNodeCfg *cfg)
{
    if (cb == nullptr || cfg == nullptr) {
        return ZELM_ERR;
    }
    if (cfg->compClass == 0) {
        ZELM_LOG_INFO("zelm comp, add compNode by cfg ignore. compType (%u) compTypeName (%s) compClass(%s)",
                      cfg->compType, ZelmLogTextOf(cfg->compTypeName).text, kNotQofClass);
        return ZELM_OK;
    }
    if (ZELM_COMP_SetCompNodeCfg(cb, cfg->compType, cfg) != ZELM_OK) {
        ZELM_LOG_ERROR("zelm comp, add compNode by cfg failed. compType (%u) compTypeName (%s) compFileName(%s)",
                       cfg->compType, ZelmLogTextOf(cfg->compTypeName).text, ZelmLogTextOf(cfg->compFileName).text);
        return ZELM_ERR;
    }
    ZELM_COMP_CompNodePublish(cb, cfg->compType, ZELM_COMP_OP_ADD);
    ZELM_LOG_INFO("zelm comp, add compNode by cfg ok. compType (%u) compTypeName (%s) compFileName(%s)", cfg->compType,
                  ZelmLogTextOf(cfg->compTypeName).text, ZelmLogTextOf(cfg->compFileName).text);
    return ZELM_OK;
}

/*
 * Publishes the deletion of the type's components while the type is still
 * known, then forgets the type; its components stay stored. Always 0.
 */
ZELM_API uint32_t ZELM_COMP_DelCompNodeByCfg(ZelmCompCb *cb, const ZelmCompNodeCfg *cfg)
{
    if (cb == nullptr || cfg == nullptr) {
        return ZELM_OK;
    }
    if (cfg->compClass == 0) {
        ZELM_LOG_INFO("zelm comp, del compNode by cfg ignore. compType (%u) compTypeName (%s) compClass(%s)",
                      cfg->compType, ZelmLogTextOf(cfg->compTypeName).text, kNotQofClass);
        return ZELM_OK;
    }
    ZELM_COMP_CompNodePublish(cb, cfg->compType, ZELM_COMP_OP_DEL);
    ZelSetDeleteU32(cb->compNodeTree, cfg->compType);
    return ZELM_OK;
}

/* Publishes the components of `compType` at every location with a channel, in ascending location order. */
ZELM_API void ZELM_COMP_CompNodePublish(ZelmCompCb *cb, uint32_t compType, uint32_t opType)
{
    if (cb == nullptr) {
        return;
    }
    for (auto *location = ZelSetFirst<ZelmCompLocation>(cb->locationTree); location != nullptr;
         location = ZelSetNext(cb->locationTree, location)) {
        if (location->chanHandle == 0) {
            ZELM_LOG_INFO("zelm comp, compNode publish opType %u. location %u is Not register.", opType,
                          location->locIndex);
            continue;
        }
        ZELM_COMP_CompPublishByCompType(cb, location, compType, opType);
    }
}

/* Publishes each component of `compType` at the location in a request of its own, in ascending instance order. */
ZELM_API void ZELM_COMP_CompPublishByCompType(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t compType,
                                              uint32_t opType)
{
    if (location == nullptr) {
        return;
    }
    for (auto *component = ZelSetFirst<ZelmComponent>(location->componentTree); component != nullptr;
         component = ZelSetNext(location->componentTree, component)) {
        if (component->cfg.compType != compType) {
            continue;
        }
        ZELM_LOG_INFO("zelm compNode publish opertype %u. locIndex %u, cid %u, compInstName %s, compType %u.", opType,
                      location->locIndex, component->cfg.compInst, ZelmLogTextOf(component->cfg.compInstName).text,
                      component->cfg.compType);
        ZelmCompTryPublishComponent(cb, location, opType, component);
    }
}

}  // extern "C"
