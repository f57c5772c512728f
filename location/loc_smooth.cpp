/*
 * OS-node links and smoothing: a node whose agent link comes up gets all its
 * locations in one request, and the smooth timer republishes every node whose
 * last publication failed, at each tick, until one succeeds.
 */
#include <stddef.h>

#include "core/zelm_log.h"
#include "location/loc_internal.h"

namespace {

constexpr const char kSmoothTimerName[] = "ZelmLocSmooth";
constexpr uint32_t kSmoothTimerNameLen = sizeof(kSmoothTimerName) - 1u;
constexpr uint32_t kSmoothTimerPeriodic = 1u;
constexpr uint32_t kSmoothTimerInterval = ZELM_LOC_SMOOTH_INTERVAL;

// One smoothing buffer entry: a location record and its logic group, in two arrays.
constexpr size_t kSmoothEntrySize = sizeof(ZelmLocInstCfg) + sizeof(ZelmLogicLocGrpCfg);
static_assert(kSmoothEntrySize == 164);

// A sum, not an OR: a slot above 255 carries into the chassis byte.
uint32_t OsNodeIdOf(uint32_t chassis, uint32_t slot, uint32_t cpu)
{
    return ((cpu << 16) + (chassis << 8) + slot) & ZELM_LOC_OSNODE_MASK;
}

}  // namespace

extern "C" {

/*
 * OS-node link report from the node-status service. Up: the node's record is
 * made or refreshed with its agent's handle and, while the HA role allows it,
 * the node is smoothed. Down: the record goes, the node's locations stay.
 * Always returns 0.
 */
ZELM_API uint32_t ZelmLocSubOsNodeLink(uint32_t osid, const uint32_t *position, uint32_t linkState, void *userData)
{
    const uint32_t chassis = position[0];
    const uint32_t slot = position[1];
    const uint32_t cpu = position[2];
    ZELM_LOG_INFO("zelm location sub osid %#x(chassis %u,slot %u, cpu %u, ab %u).", osid, chassis, slot, cpu,
                  linkState);
    const uint32_t osNodeId = OsNodeIdOf(chassis, slot, cpu);
    if (userData == nullptr) {
        ZELM_LOG_ERROR("zelm locationInst, sub osnode(osNodeId %u) link, usrdata is NULL.", osNodeId);
        return 0;
    }
    auto *cb = static_cast<locationCb *>(userData);
    if (linkState == 0) {
        ZelmLocTryDestroyOsnode(cb, osNodeId);
        ZELM_LOG_INFO("zelm locationInst, sub osnode(osNodeId %u) link, del osnode tree.", osNodeId);
        return 0;
    }
    osNodeInst *osNode = ZelmLocTryAddOsNode(cb, osNodeId);
    if (osNode == nullptr) {
        ZELM_LOG_ERROR("zelm locationInst, sub osNodeId(%#x) link, add osNodeInst fail", osNodeId);
        return 0;
    }
    osNode->chanHandle = ZELM_INFRA_GetKorbServerHandle(osid);
    if (ZELM_INFRA_IsCanPublish() != 0) {
        ZelmLocTrySmoothOsnodeInst(cb, osNode);
    }
    ZELM_LOG_INFO("zelm locationInst, sub osNodeId(%#x) link ok.", osNodeId);
    return 0;
}

/*
 * Republishes all locations of the OS node in one request with opType 2. It
 * asks no HA role and leaves the node's flag to the send and the completion.
 */
ZELM_API void ZelmLocTrySmoothOsnodeInst(locationCb *cb, osNodeInst *osNode)
{
    if (osNode->chanHandle == 0) {
        ZELM_LOG_INFO("zelm osNodeInst, osNodeInst(osNodeId %u) chanHandle is NULL.", osNode->osNodeId);
        return;
    }
    const uint32_t batchNum = ZEL_SET_Count(cb->locationInstTree);
    if (batchNum == 0) {
        ZELM_LOG_INFO("zelm osNodeInst(osNodeId %u), locationInstTree has no instance.", osNode->osNodeId);
        return;
    }
    auto *buffer = static_cast<unsigned char *>(ZELM_Malloc(batchNum * kSmoothEntrySize));
    if (buffer == nullptr) {
        ZELM_LOG_ERROR("zelm osNodeInst(osNodeId %u) malloc locInsts(num %u) error.", osNode->osNodeId, batchNum);
        return;
    }
    auto *locInsts = reinterpret_cast<ZelmLocInstCfg *>(buffer);
    auto *logicGrps = reinterpret_cast<ZelmLogicLocGrpCfg *>(buffer + batchNum * sizeof(ZelmLocInstCfg));
    const uint32_t realNum = ZelmLocTrySmoothSetLocationInst(cb, osNode, locInsts, logicGrps);
    if (realNum == 0) {
        ZELM_Free(buffer);
        ZELM_LOG_INFO("zelm osNodeInst(osNodeId %u) osNodeTree has no location data.", osNode->osNodeId);
        return;
    }
    const ZelmLocPublishList list = {locInsts, logicGrps, realNum, 0u};
    if (ZelmLocPublishLocationInst(cb, osNode, ZELM_LOC_OP_SMOOTH, &list) != ZELM_OK) {
        ZELM_LOG_ERROR("zelm osNodeId(%u) publish smooth locationInst not ok.", osNode->osNodeId);
    }
    ZELM_Free(buffer);
    ZELM_LOG_INFO("zelm osNodeId(%u) try to publish smooth locationInst finished: batchNum %u, realNum %u.",
                  osNode->osNodeId, batchNum, realNum);
}

/*
 * Copies the OS node's locations, in ascending locIndex order, with their
 * logic groups (or the default one) into the two arrays, which hold at least
 * as many entries as the location tree. Returns the number written.
 */
ZELM_API uint32_t ZelmLocTrySmoothSetLocationInst(locationCb *cb, osNodeInst *osNode, ZelmLocInstCfg *locInsts,
                                                  ZelmLogicLocGrpCfg *logicGrps)
{
    ZelSet *set = cb->locationInstTree;
    if (set == nullptr) {
        return 0;
    }
    uint32_t k = 0;
    for (auto *inst = ZelSetFirst<locationInst>(set); inst != nullptr; inst = ZelSetNext(set, inst)) {
        if (inst->osNodeId == osNode->osNodeId) {
            ZELM_LOG_INFO(
                "zelm osNodeId(%u) try to publish smooth locationInst : locName %s, locIndex %u, "
                "locType %u.",
                osNode->osNodeId, ZelmLogTextOf(inst->instCfg.LocName).text, inst->instCfg.LocId,
                inst->instCfg.LocType);
            logicGrps[k] = ZelmLocGroupOf(cb, inst->instCfg.LocId);
            locInsts[k] = inst->instCfg;
            ++k;
        }
    }
    return k;
}

/* Smooth timer tick: republishes every flagged OS node, in ascending osNodeId order. Returns 0. */
ZELM_API uint32_t ZelmLocSmoothTimerCbk(QOF_Timer *timer, void *reserved, void *userData)
{
    (void)timer;
    (void)reserved;
    auto *cb = static_cast<locationCb *>(userData);
    if (cb == nullptr || cb->osNodeTree == nullptr) {
        return 0;
    }
    ZelSet *set = cb->osNodeTree;
    for (auto *osNode = ZelSetFirst<osNodeInst>(set); osNode != nullptr; osNode = ZelSetNext(set, osNode)) {
        if (osNode->publishFault != 0) {
            ZelmLocTrySmoothOsnodeInst(cb, osNode);
        }
    }
    return 0;
}

/*
 * Creates the module's smooth timer, stopped, on the node-status service's
 * thread, and stores it in cb->smoothTimer. 0xFFFFFFFF when the attributes or
 * the timer cannot be made; nothing is left behind but a null timer slot.
 */
ZELM_API uint32_t ZelmLocInitSmoothTimer(locationCb *cb)
{
    QOF_TimerAttr *attr = QOF_TimerCreateAttr();
    if (attr == nullptr) {
        ZELM_LOG_ERROR("[ZELM] locationInst init create smooth timer attr failed.");
        return ZELM_ERR;
    }
    const QOF_TimerCbPair cbPair = {ZelmLocSmoothTimerCbk, cb};
    uint32_t ret = QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_CALLBACK, &cbPair, static_cast<uint32_t>(sizeof(cbPair)));
    ret |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_MODE, &kSmoothTimerPeriodic,
                            static_cast<uint32_t>(sizeof(kSmoothTimerPeriodic)));
    ret |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_INTERVAL, &kSmoothTimerInterval,
                            static_cast<uint32_t>(sizeof(kSmoothTimerInterval)));
    ret |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_NAME, kSmoothTimerName, kSmoothTimerNameLen);
    if (ret != 0) {
        QOF_TimerDestroyAttr(attr);
        ZELM_LOG_ERROR("[ZELM] locationInst init set smooth timer attr failed.");
        return ZELM_ERR;
    }
    cb->smoothTimer = QOF_TimerCreate(ZELM_INFRA_GetThHandle(), attr);
    QOF_TimerDestroyAttr(attr);
    if (cb->smoothTimer == nullptr) {
        ZELM_LOG_ERROR("[ZELM] locationInst init create smooth timer failed.");
        return ZELM_ERR;
    }
    ZELM_LOG_INFO("[ZELM] locationInst init create smooth timer ok.");
    return ZELM_OK;
}

}  // extern "C"
