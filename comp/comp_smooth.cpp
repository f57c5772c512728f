/*
 * Location links and smoothing: a location whose link comes up receives all
 * its ready components in one request; a location whose index moved is
 * forgotten; the smooth timer republishes every flagged location at each tick.
 */
#include "comp/comp_internal.h"
#include "core/zelm_log.h"
#include "core/zelm_record.h"

static constexpr char kSmoothTimerName[] = "ZelmCompSmooth";
static constexpr uint32_t kSmoothTimerMode = 1u;
static constexpr uint32_t kSmoothTimerInterval = ZELM_COMP_SMOOTH_INTERVAL;

/* One smoothing slot: a compNode record and a component's configuration part. */
static constexpr size_t kSmoothSlotBytes = 256u;
static_assert(sizeof(ZelmCompNodeCfg) + sizeof(ZelmCompInstCfg) == kSmoothSlotBytes);
static_assert(sizeof(kSmoothTimerName) - 1 == 14);

extern "C" {

/*
 * Location-link subscriber: a non-zero handle records the location's channel
 * and smooths it, a zero handle forgets the location. 0xFFFFFFFF without user
 * data or when the location could not be added.
 */
ZELM_API uint32_t ZelmCompSubLocationLink(uint32_t locIndex, uintptr_t chanHandle, void *userData)
{
    if (userData == nullptr) {
        ZELM_LOG_ERROR("zelm comp, sub location(locIndex %u) link, usrdata is NULL.", locIndex);
        return ZELM_ERR;
    }
    auto *cb = static_cast<ZelmCompCb *>(userData);
    ZELM_LOG_INFO("zelm comp, receive sub location(locIndex %u, chan %#x) link.", locIndex,
                  static_cast<uint32_t>(chanHandle));
    if (chanHandle == 0) {
        ZelmCompTryDestroyLocation(cb, locIndex);
        ZELM_LOG_INFO("zelm comp, sub location(locIndex %u) link, locIndex is change, del location tree.", locIndex);
        return ZELM_OK;
    }
    ZelmCompLocation *location = ZelmCompTryAddLocation(cb, locIndex);
    if (location == nullptr) {
        ZELM_LOG_ERROR("zelm comp, sub location(locIndex %u) link, add location fail", locIndex);
        return ZELM_ERR;
    }
    location->chanHandle = chanHandle;
    ZelmCompTrySmoothComponent(cb, location, ZELM_COMP_OP_SMOOTH);
    ZELM_LOG_INFO("zelm comp, sub location(locIndex %u) link ok.", locIndex);
    return ZELM_OK;
}

/*
 * Publishes every component of the location whose compNode is ready, in
 * ascending instance order, as one request with `opType`. Sends nothing,
 * with an info line, when there is no channel, no component or none ready.
 */
ZELM_API void ZelmCompTrySmoothComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType)
{
    if (location == nullptr) {
        return;
    }
    if (location->chanHandle == 0) {
        ZELM_LOG_INFO("zelm comp, location(locIndex %u) chanHandle is NULL.", location->locIndex);
        return;
    }
    const uint32_t batchNum = ZEL_SET_Count(location->componentTree);
    if (batchNum == 0) {
        ZELM_LOG_INFO("zelm comp, location(locIndex %u) componentTree has no comp.", location->locIndex);
        return;
    }
    ZELM_LOG_INFO("zelm comp, location(locIndex %u) componentTree has %u component.", location->locIndex, batchNum);

    auto *buffer = static_cast<unsigned char *>(ZELM_Malloc(static_cast<size_t>(batchNum) * kSmoothSlotBytes));
    if (buffer == nullptr) {
        ZELM_LOG_ERROR("zelm comp, location(locIndex %u) malloc compNodes(num %u) error.", location->locIndex,
                       batchNum);
        return;
    }
    auto *compNodes = reinterpret_cast<ZelmCompNodeCfg *>(buffer);
    auto *comps = reinterpret_cast<ZelmCompInstCfg *>(buffer + static_cast<size_t>(batchNum) * sizeof(ZelmCompNodeCfg));

    uint32_t realNum = 0;
    for (auto *component = ZelSetFirst<ZelmComponent>(location->componentTree); component != nullptr;
         component = ZelSetNext(location->componentTree, component)) {
        if (ZELM_COMP_GetCompNodeCfg(cb, component->cfg.compType, &compNodes[realNum]) != ZELM_OK) {
            ZELM_LOG_INFO("zelm comp, location(locIndex %u) get compNode(compType %u) not ready.", location->locIndex,
                          component->cfg.compType);
            continue;
        }
        if (ZelmCopyRecord(&comps[realNum], component->cfg) != ZELM_OK) {
            continue;
        }
        ++realNum;
    }
    if (realNum == 0) {
        ZELM_Free(buffer);
        ZELM_LOG_INFO("zelm comp, location(locIndex %u) componentTree has no compNode data.", location->locIndex);
        return;
    }

    const ZelmCompPublishList list = {comps, compNodes, realNum, 0u};
    (void)ZelmCompPublishComponent(cb, location, opType, &list);
    ZELM_Free(buffer);
    ZELM_LOG_INFO("zelm comp, location(locIndex %u) try to publish smooth comp finished: batchNum %u, realNum %u.",
                  location->locIndex, batchNum, realNum);
}

/* Smooth timer tick: republishes every flagged location; flags and timer are left to the completions. */
ZELM_API uint32_t ZelmCompSmoothTimerCbk(QOF_Timer *timer, void *reserved, void *userData)
{
    (void)timer;
    (void)reserved;
    auto *cb = static_cast<ZelmCompCb *>(userData);
    if (cb == nullptr) {
        return ZELM_OK;
    }
    for (auto *location = ZelSetFirst<ZelmCompLocation>(cb->locationTree); location != nullptr;
         location = ZelSetNext(cb->locationTree, location)) {
        if (location->publishFault != 0) {
            ZELM_LOG_INFO("zelm comp, try location smooth timer, locIndex %u", location->locIndex);
            ZelmCompTrySmoothComponent(cb, location, ZELM_COMP_OP_SMOOTH);
        }
    }
    return ZELM_OK;
}

/*
 * Creates the stopped smooth timer on the node-status service's thread and
 * stores it in `cb`. 0xFFFFFFFF when the attributes or the timer could not be
 * made; no attribute set is left behind either way.
 */
ZELM_API uint32_t ZelmCompInitSmoothTimer(ZelmCompCb *cb)
{
    if (cb == nullptr) {
        return ZELM_ERR;
    }
    QOF_TimerAttr *attr = QOF_TimerCreateAttr();
    if (attr == nullptr) {
        ZELM_LOG_ERROR("[ZELM] comp init create smooth timer attr failed.");
        return ZELM_ERR;
    }
    const QOF_TimerCbPair pair = {ZelmCompSmoothTimerCbk, cb};
    uint32_t ret = QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_CALLBACK, &pair, static_cast<uint32_t>(sizeof(pair)));
    ret |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_MODE, &kSmoothTimerMode, static_cast<uint32_t>(sizeof(uint32_t)));
    ret |=
        QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_INTERVAL, &kSmoothTimerInterval, static_cast<uint32_t>(sizeof(uint32_t)));
    ret |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_NAME, kSmoothTimerName,
                            static_cast<uint32_t>(sizeof(kSmoothTimerName) - 1));
    if (ret != 0) {
        QOF_TimerDestroyAttr(attr);
        ZELM_LOG_ERROR("[ZELM] comp init set smooth timer attr failed.");
        return ZELM_ERR;
    }
    cb->smoothTimer = QOF_TimerCreate(ZELM_INFRA_GetThHandle(), attr);
    QOF_TimerDestroyAttr(attr);
    if (cb->smoothTimer == nullptr) {
        ZELM_LOG_ERROR("[ZELM] comp init create smooth timer failed.");
        return ZELM_ERR;
    }
    ZELM_LOG_INFO("[ZELM] comp init create smooth timer ok.");
    return ZELM_OK;
}

}  // extern "C"
