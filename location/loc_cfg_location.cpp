/*
 * The location table's handlers: records whose image is a service image
 * create, update and delete location instances, which are published to the
 * agents of their OS nodes. A deleted location's components are withdrawn
 * before the location itself.
 */
#include <stddef.h>
#include <string.h>

#include "core/zelm_log.h"
#include "location/loc_internal.h"

namespace {

constexpr char kServiceTag[] = ".service";
constexpr size_t kServiceTagLen = sizeof(kServiceTag) - 1u;

// Only service images are deployed as locations. The search stops at the
// field's NUL, or at its end when it holds none.
bool IsServiceImage(const char (&image)[sizeof(ZelmLocInstCfg::imageName)])
{
    const void *nul = memchr(image, '\0', sizeof(image));
    const size_t len = (nul != nullptr) ? static_cast<size_t>(static_cast<const char *>(nul) - image) : sizeof(image);
    for (size_t at = 0; at + kServiceTagLen <= len; ++at) {
        if (memcmp(image + at, kServiceTag, kServiceTagLen) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

/*
 * Table handler of the location class: reads the atom's operation code and
 * record and routes them. 0xFFFFFFFF when the atom cannot be read or the
 * module is not started.
 */
ZELM_API uint32_t ZELM_ProcTuvLocation(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, ZelmLocalData *data,
                                       QOF_RecordCtx *recordCtx)
{
    (void)msg;
    (void)replyRef;
    (void)data;
    (void)recordCtx;
    uint16_t opCode = 0;
    if (QOF_GetAtomOpCode(atom, &opCode) != 0) {
        ZELM_LOG_ERROR("Zelm Proc location table get opcode failed.");
        return ZELM_ERR;
    }
    void *record = nullptr;
    if (QOF_GetRecData(atom, &record) != 0 || record == nullptr) {
        ZELM_LOG_ERROR("Zelm Proc location table get RecData failed.");
        return ZELM_ERR;
    }
    return ZELM_LocationProc(static_cast<const ZelmLocInstCfg *>(record), opCode);
}

/* Routes a location record by operation code: 0 and 1 store, 2 deletes, others do nothing. */
ZELM_API uint32_t ZELM_LocationProc(const ZelmLocInstCfg *cfg, uint16_t opCode)
{
    auto *cb = static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("ZELM Proc location table get locationCb failed.");
        return ZELM_ERR;
    }
    switch (opCode) {
    case ZELM_CFG_OP_ADD:
    case ZELM_CFG_OP_MOD:
        return ZelmProcTuvCreateLocation(cfg, cb);
    case ZELM_CFG_OP_DEL:
        return ZelmProcTuvDeleteLocation(cfg, cb);
    default:
        return ZELM_OK;
    }
}

/* Stores and publishes a service location; any other image is ignored with 0. */
ZELM_API uint32_t ZelmProcTuvCreateLocation(const ZelmLocInstCfg *cfg, locationCb *cb)
{
    if (!IsServiceImage(cfg->imageName)) {
        ZELM_LOG_INFO("[Zelm]Ignore location create (id:%u), loc = %s, image = %s", cfg->LocId,
                      ZelmLogTextOf(cfg->LocName).text, ZelmLogTextOf(cfg->imageName).text);
        return ZELM_OK;
    }
    return ZelmProcCreateLocation(cfg, cb);
}

/* Withdraws a service location; any other image is ignored with 0. */
ZELM_API uint32_t ZelmProcTuvDeleteLocation(const ZelmLocInstCfg *cfg, locationCb *cb)
{
    if (!IsServiceImage(cfg->imageName)) {
        ZELM_LOG_INFO("[Zelm]Ignore location delete (id:%u), loc = %s, image = %s", cfg->LocId,
                      ZelmLogTextOf(cfg->LocName).text, ZelmLogTextOf(cfg->imageName).text);
        return ZELM_OK;
    }
    return ZelmProcDeleteLocation(cfg, cb);
}

/*
 * Stores the record as the location instance of its LocId (state back to 0)
 * and publishes it with opType 0. 0xFFFFFFFF only when the instance cannot be
 * stored; a publication that cannot happen still gives 0.
 */
ZELM_API uint32_t ZelmProcCreateLocation(const ZelmLocInstCfg *cfg, locationCb *cb)
{
    const auto locName = ZelmLogTextOf(cfg->LocName);
    ZELM_LOG_INFO(
        "[Zelm]Try Create location, OsInst(%#x) LocId(%u) LocGrp(%u)LocType(%u) LocName(%s) "
        "imageName(%s) Lrid(%u).",
        cfg->OsInst, cfg->LocId, cfg->LocGrp, cfg->LocType, locName.text, ZelmLogTextOf(cfg->imageName).text,
        cfg->Lrid);
    locationInst *inst = ZelmTryAddLocationInst(cb, cfg->LocId);
    if (inst == nullptr) {
        ZELM_LOG_ERROR("zelm location, add inst by instcfg failed. locInstName %s(osnode %u) locIndex %u", locName.text,
                       cfg->OsInst, cfg->LocId);
        return ZELM_ERR;
    }
    inst->osNodeId = cfg->OsInst & ZELM_LOC_OSNODE_MASK;
    inst->instCfg = *cfg;
    inst->publishState = ZELM_LOC_STATE_CFG;
    ZelmTryPublishLocationInst(cb, ZELM_LOC_OP_ADD, inst);
    ZELM_LOG_INFO("[Zelm]The location (locIndex:%u,osnode:%u) %s create success.", cfg->LocId, cfg->OsInst,
                  locName.text);
    return ZELM_OK;
}

/*
 * Forgets the location instance of the record's LocId. When a publication of
 * it has completed, its components and then the location are withdrawn at the
 * agents first. Always 0.
 */
ZELM_API uint32_t ZelmProcDeleteLocation(const ZelmLocInstCfg *cfg, locationCb *cb)
{
    const auto locName = ZelmLogTextOf(cfg->LocName);
    ZELM_LOG_INFO(
        "[Zelm]Try delete location, OsInst(%#x) LocId(%u) LocGrp(%u)LocType(%u) LocName(%s) "
        "imageName(%s) Lrid(%u).",
        cfg->OsInst, cfg->LocId, cfg->LocGrp, cfg->LocType, locName.text, ZelmLogTextOf(cfg->imageName).text,
        cfg->Lrid);
    locationInst *inst = ZelmTryFindLocationInst(cb, cfg->LocId);
    if (inst == nullptr) {
        ZELM_LOG_INFO("zelm location, not find inst by instcfg. locInstName %s(osnode %u) locIndex %u", locName.text,
                      cfg->OsInst, cfg->LocId);
        return ZELM_OK;
    }
    if (inst->publishState != ZELM_LOC_STATE_CFG) {
        ZELM_ComponentDeleteByLoc(cfg->LocId);
        ZelmTryPublishLocationInst(cb, ZELM_LOC_OP_DEL, inst);
        ZELM_LOG_INFO("[Zelm]The location (locIndex:%u,osnode:%u) %s delete success.", cfg->LocId, cfg->OsInst,
                      locName.text);
    }
    ZelmTryDestroyLocationInst(cb, cfg->LocId);
    return ZELM_OK;
}

}  // extern "C"
