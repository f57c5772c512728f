// The sweep's scenarios: start and stop, the life of locations, the life of components.
#include "support/sweep_scenarios.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "zelm.h"
#include "zelm_standin.h"

namespace zt {
namespace {

constexpr uint64_t kTick = 5000;

// Fills a text field; an unterminated one holds no NUL at all.
template <size_t N>
void SetText(char (&field)[N], const char *text, bool terminated = true)
{
    std::memset(field, terminated ? 0 : 'x', N);
    std::memcpy(field, text, std::min(std::strlen(text), terminated ? N - 1 : N));
}

ZelmLocInstCfg Loc(uint32_t locId, uint32_t osInst, bool service = true, bool extTerminated = true)
{
    ZelmLocInstCfg cfg{};
    char text[32];
    cfg.LocId = locId;
    cfg.OsInst = osInst;
    cfg.LocType = 7;
    std::snprintf(text, sizeof(text), "LN-loc%u", locId);
    SetText(cfg.LocName, text);
    std::snprintf(text, sizeof(text), service ? "IM-app%u.service" : "IM-app%u.bin", locId);
    SetText(cfg.imageName, text);
    SetText(cfg.LocExtName, "LX-ext", extTerminated);
    return cfg;
}

ZelmLogicLocGrpCfg Grp(uint32_t locIndex, uint32_t logicId)
{
    ZelmLogicLocGrpCfg cfg{};
    cfg.locIndex = locIndex;
    cfg.logicId = logicId;
    cfg.faultPolicy = 1;
    return cfg;
}

ZelmCompNodeCfg CompNode(uint32_t compType, bool extTerminated = true)
{
    ZelmCompNodeCfg cfg{};
    char text[32];
    cfg.compType = compType;
    cfg.compClass = 1;
    std::snprintf(text, sizeof(text), "TN-type%u", compType);
    SetText(cfg.compTypeName, text);
    std::snprintf(text, sizeof(text), "FN-file%u.bin", compType);
    SetText(cfg.compFileName, text);
    SetText(cfg.compExtName, "EX-ext", extTerminated);
    return cfg;
}

ZelmCompInstCfg Comp(uint32_t locIndex, uint32_t compInst, uint32_t compType, bool act = true)
{
    ZelmCompInstCfg cfg{};
    char text[32];
    cfg.locIndex = locIndex;
    cfg.compInst = compInst;
    cfg.compType = compType;
    cfg.cfgStatus = act ? INT32_MIN : 1;
    std::snprintf(text, sizeof(text), "CI-comp%u.%u", locIndex, compInst);
    SetText(cfg.compInstName, text);
    return cfg;
}

// Delivers one atom at once; a class without a handler (a start that failed early) just drops it.
template <typename Rec>
void Deliver(uint32_t classId, uint16_t opCode, const Rec &rec)
{
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, classId, opCode, 0, &rec, sizeof(rec));
    (void)STANDIN_MsgDeliverNow(msg, nullptr);
}

void Settle() { STANDIN_RunFor(10); }

void Tick()
{
    STANDIN_RunFor(kTick);
    Settle();
}

void Link(uint32_t osNodeId, int up)
{
    (void)STANDIN_KormRaiseOsNodeLink(osNodeId, up);
    STANDIN_RunDue();
}

void Status(uint32_t osNodeId, const char *name, uint32_t locIndex, int available)
{
    STANDIN_KormRaiseLocationStatus(osNodeId, name, locIndex, available);
    STANDIN_RunDue();
}

void FailNextCall(uint32_t osNodeId)
{
    const QOF_ConnHandle handle = STANDIN_KormServerHandle(osNodeId);
    STANDIN_AgentScript script{};
    if (STANDIN_AgentGetScript(handle, &script) == 0) {
        script.failNext = 1;
        (void)STANDIN_AgentSetScript(handle, &script);
    }
}

void StartAndStop() {}

void LocationLife()
{
    const uint32_t n1 = STANDIN_KormAddOsNode(1, 1, 0, 1);
    const uint32_t n2 = STANDIN_KormAddOsNode(1, 2, 0, 1);
    Link(n1, 1);  // no location yet: nothing to smooth
    Deliver(ZELM_CLASS_LOGIC_LOC_GRP, ZELM_CFG_OP_ADD, Grp(10, 100));
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, Loc(10, n1));
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, Loc(11, n1));
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, Loc(12, n2));  // its node has no link yet: stored only
    Settle();
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_MOD, Loc(10, n1, true, false));
    Settle();
    FailNextCall(n1);
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, Loc(13, n1));
    Settle();
    Tick();  // smooths the flagged node
    Link(n2, 1);
    Settle();
    Link(n1, 0);
    Link(n1, 1);
    Settle();
    Deliver(ZELM_CLASS_LOGIC_LOC_GRP, ZELM_CFG_OP_MOD, Grp(10, 101));
    Deliver(ZELM_CLASS_LOGIC_LOC_GRP, ZELM_CFG_OP_DEL, Grp(10, 101));
    Settle();
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_DEL, Loc(11, n1));
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, Loc(14, n1, false));  // not a service image
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_DEL, Loc(12, n2));
    Settle();
}

void ComponentLife()
{
    const uint32_t n1 = STANDIN_KormAddOsNode(1, 1, 0, 1);
    Link(n1, 1);
    Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, CompNode(5));
    Status(n1, "svcA", 20, 1);  // a location without components: nothing to smooth
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(20, 1, 5));
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(20, 2, 3));   // type 3 needs no compNode
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(21, 1, 5));   // no link yet: stored only
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(21, 2, 6));   // type never configured
    Settle();
    Status(n1, "svcB", 21, 1);  // smooths location 21
    Settle();
    Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_MOD, CompNode(5, false));  // republishes type 5 everywhere
    Settle();
    FailNextCall(n1);
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(20, 3, 5));
    Settle();
    Tick();                     // smooths the flagged location
    Status(n1, "svcA", 22, 1);  // location 20 moves to index 22
    Settle();
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(22, 1, 5));
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_MOD, Comp(21, 1, 5));
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_DEL, Comp(21, 1, 5));
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(21, 3, 5));
    Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, Comp(22, 2, 5, false));  // cfgStatus without bit 31
    Settle();
    // A location of index 21, published, then deleted: its components go first, in one request.
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, Loc(21, n1));
    Settle();
    Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_DEL, Loc(21, n1));
    Settle();
    Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_DEL, CompNode(5));
    Status(n1, "svcB", 21, 0);
    Settle();
}

}  // namespace

const std::vector<SweepScenario> &SweepScenarios()
{
    static const std::vector<SweepScenario> scenarios = {
        {"start-stop", &StartAndStop, false},
        {"locations", &LocationLife, true},
        {"components", &ComponentLife, true},
    };
    return scenarios;
}

}  // namespace zt
