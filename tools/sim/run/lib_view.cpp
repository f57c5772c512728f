// Looking into the library's sets by key, as its own modules do, without changing or logging anything.
#include "run/lib_view.h"

#include "zelm_standin.h"

namespace zsim {

namespace {

template <typename T>
const T *Find(ZelSet *set, uint32_t key)
{
    return set == nullptr ? nullptr : static_cast<const T *>(ZEL_SET_Find(set, &key, sizeof key));
}

locationCb *LocCb()
{
    return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
}
ZelmCompCb *CompCb()
{
    return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
}

}  // namespace

const locationInst *LibLocation(uint32_t locId)
{
    locationCb *cb = LocCb();
    return cb == nullptr ? nullptr : Find<locationInst>(cb->locationInstTree, locId);
}

const osNodeInst *LibOsNode(uint32_t osNodeId)
{
    locationCb *cb = LocCb();
    return cb == nullptr ? nullptr : Find<osNodeInst>(cb->osNodeTree, osNodeId);
}

const LogicLocGrp *LibGroup(uint32_t locIndex)
{
    locationCb *cb = LocCb();
    return cb == nullptr ? nullptr : Find<LogicLocGrp>(cb->logicGrpInstTree, locIndex);
}

const ZelmCompLocation *LibCompLocation(uint32_t locIndex)
{
    ZelmCompCb *cb = CompCb();
    return cb == nullptr ? nullptr : Find<ZelmCompLocation>(cb->locationTree, locIndex);
}

const ZelmComponent *LibComponent(uint32_t locIndex, uint32_t compInst)
{
    const ZelmCompLocation *loc = LibCompLocation(locIndex);
    return loc == nullptr ? nullptr : Find<ZelmComponent>(loc->componentTree, compInst);
}

void LibCounts(uint64_t *locations, uint64_t *osNodes, uint64_t *compLocations)
{
    const locationCb *loc = LocCb();
    const ZelmCompCb *comp = CompCb();
    *locations = loc == nullptr ? 0 : ZEL_SET_Count(loc->locationInstTree);
    *osNodes = loc == nullptr ? 0 : ZEL_SET_Count(loc->osNodeTree);
    *compLocations = comp == nullptr ? 0 : ZEL_SET_Count(comp->locationTree);
}

bool LibTypeReady(uint32_t compType)
{
    // Types 3 and 207 need no record: the library publishes them with an empty one.
    if (compType == 3 || compType == 207) {
        return CompCb() != nullptr;
    }
    ZelmCompCb *cb = CompCb();
    return cb != nullptr && Find<ZelmCompNode>(cb->compNodeTree, compType) != nullptr;
}

bool LibIsCompSmoothTimer(const char *name)
{
    const STANDIN_TimerInfo *t = STANDIN_TimerFind(name);
    return t != nullptr && t->cbPair.callback == &ZelmCompSmoothTimerCbk;
}

const char *LocStateName(uint32_t state)
{
    switch (state) {
    case ZELM_LOC_STATE_CFG:
        return "stored";
    case ZELM_LOC_STATE_PUBLISHED:
        return "published";
    case ZELM_LOC_STATE_FAILED:
        return "failed";
    default:
        return "?";
    }
}

const char *CompStateName(uint32_t state)
{
    switch (state) {
    case ZELM_COMP_STATE_CFG:
        return "stored";
    case ZELM_COMP_STATE_PUBLISHED:
        return "published";
    case ZELM_COMP_STATE_FAILED:
        return "failed";
    default:
        return "?";
    }
}

}  // namespace zsim
