// LOCATION configuration: the location and logic group tables, their filter, deletes and what the agents see.
#include <cstring>
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

constexpr uint32_t kCompType = 10;

locationCb *LocCb() { return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION)); }

void Settle() { STANDIN_RunFor(10); }

uint32_t NodeUp(uint32_t slot)
{
    const uint32_t id = STANDIN_KormAddOsNode(0, slot, 0, 1);
    EXPECT_EQ(STANDIN_KormRaiseOsNodeLink(id, 1), 0);
    STANDIN_RunDue();
    return id;
}

// The code the last reply recorded for its first atom: the handler's result.
uint32_t AtomCode()
{
    const size_t n = STANDIN_ReplyCount();
    if (n == 0) {
        ADD_FAILURE() << "no reply";
        return 0xDEADu;
    }
    const STANDIN_Reply *reply = STANDIN_ReplyGet(n - 1);
    if (reply->opInfoNum == 0) {
        ADD_FAILURE() << "no op-info area";
        return 0xDEADu;
    }
    return reply->opInfos[0].code;
}

uint32_t Loc(uint16_t opCode, const ZelmLocInstCfg &cfg)
{
    EXPECT_EQ(zt::Deliver(ZELM_CLASS_LOCATION, opCode, cfg), 0u);
    return AtomCode();
}

uint32_t Grp(uint16_t opCode, const ZelmLogicLocGrpCfg &cfg)
{
    EXPECT_EQ(zt::Deliver(ZELM_CLASS_LOGIC_LOC_GRP, opCode, cfg), 0u);
    return AtomCode();
}

// A component of a known type at locIndex, whose location is announced on the node's agent.
void AddComponent(uint32_t osNodeId, uint32_t locIndex, uint32_t compInst)
{
    STANDIN_KormRaiseLocationStatus(osNodeId, "svc", locIndex, 1);
    STANDIN_RunDue();
    EXPECT_EQ(zt::Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, zt::CompNodeCfg(kCompType, "type")), 0u);
    EXPECT_EQ(zt::Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, zt::CompCfg(locIndex, compInst, kCompType, "comp")),
              0u);
    Settle();
    EXPECT_NE(STANDIN_AgentCompFind(STANDIN_KormServerHandle(osNodeId), locIndex, compInst), nullptr);
}

bool CompModuleKnows(uint32_t locIndex)
{
    auto *comp = static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
    return ZEL_SET_Find(comp->locationTree, &locIndex, sizeof(locIndex)) != nullptr;
}

struct Call {
    STANDIN_RpcKind kind;
    uint32_t opType;
};

std::vector<Call> CallsSince(size_t from)
{
    std::vector<Call> calls;
    for (size_t i = from; i < STANDIN_RpcCallCount(); ++i) {
        calls.push_back({STANDIN_RpcCallGet(i)->kind, STANDIN_RpcCallGet(i)->opType});
    }
    return calls;
}

const STANDIN_RpcCall *LastLocCall()
{
    for (size_t i = STANDIN_RpcCallCount(); i > 0; --i) {
        if (STANDIN_RpcCallGet(i - 1)->kind == STANDIN_RPC_LOC) {
            return STANDIN_RpcCallGet(i - 1);
        }
    }
    return nullptr;
}

// Log lines written by anything but the dispatcher.
size_t HandlerLogLines()
{
    size_t n = 0;
    for (const zt::LogLine &l : zt::PlainLog()) {
        n += (l.func != "ZelmProTuvCfgAtom") ? 1u : 0u;
    }
    return n;
}

class LocationCfgTest : public ZelmTest {};

// ---- the service-image filter ------------------------------------------------------------

TEST_F(LocationCfgTest, ServiceImagesPassTheFilterAndOthersAreIgnored)
{
    uint32_t locId = 1;
    for (const char *image : {"app.service", "x.services", "a.service.b", ".service"}) {
        EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(locId, 1, "svc", image)), 0u);
        EXPECT_NE(ZelmTryFindLocationInst(LocCb(), locId), nullptr) << image;
        ++locId;
    }
    for (const char *image : {"app.Service", "appservice", "", "app.servic"}) {
        EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(locId, 1, "plain", image)), 0u);
        EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), locId), nullptr) << image;
        EXPECT_TRUE(zt::HasLog("[Zelm]Ignore location create (id:" + std::to_string(locId) +
                                   "), loc = plain, image = " + image,
                               LORN_LEVEL_INFO, "ZelmProcTuvCreateLocation"));
        ++locId;
    }
}

TEST_F(LocationCfgTest, FilteredDeleteLeavesTheLocationInPlace)
{
    ASSERT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(5, 1, "kept", "app.service")), 0u);
    EXPECT_EQ(Loc(ZELM_CFG_OP_DEL, zt::LocCfg(5, 1, "kept", "app.bin")), 0u);
    EXPECT_TRUE(zt::HasLog("[Zelm]Ignore location delete (id:5), loc = kept, image = app.bin", LORN_LEVEL_INFO,
                           "ZelmProcTuvDeleteLocation"));
    EXPECT_NE(ZelmTryFindLocationInst(LocCb(), 5), nullptr);
}

TEST_F(LocationCfgTest, FilterLooksOnlyWithinTheImageField)
{
    // 28 letters and ".ser" fill the field; "vice" follows in the next field.
    ZelmLocInstCfg straddling = zt::LocCfg(1, 1, "edge", "");
    std::memset(straddling.imageName, 'a', sizeof(straddling.imageName));
    std::memcpy(straddling.imageName + 28, ".ser", 4);
    std::memcpy(straddling.LocExtName, "vice", 5);
    EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, straddling), 0u);
    EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), 1), nullptr);
    EXPECT_TRUE(zt::HasLog("[Zelm]Ignore location create (id:1), loc = edge, image = " + std::string(28, 'a') + ".ser",
                           LORN_LEVEL_INFO));

    // A field that ends with the tag and holds no NUL still passes.
    ZelmLocInstCfg full = zt::LocCfg(2, 1, "edge", "");
    std::memset(full.imageName, 'b', sizeof(full.imageName));
    std::memcpy(full.imageName + 24, ".service", 8);
    EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, full), 0u);
    EXPECT_NE(ZelmTryFindLocationInst(LocCb(), 2), nullptr);
}

TEST_F(LocationCfgTest, TextsWithoutNulAreCopiedAndLoggedWithinTheirFields)
{
    const uint32_t node = NodeUp(1);
    ZelmLocInstCfg cfg = zt::LocCfg(9, node, "", "");
    std::memset(cfg.LocName, 'N', sizeof(cfg.LocName));
    std::memset(cfg.imageName, 'i', sizeof(cfg.imageName));
    std::memcpy(cfg.imageName + 24, ".service", 8);
    std::memset(cfg.LocExtName, 'E', sizeof(cfg.LocExtName));
    EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, cfg), 0u);
    Settle();

    const std::string name(32, 'N');
    const std::string image = std::string(24, 'i') + ".service";
    const STANDIN_LocEntry *held = STANDIN_AgentLocFind(STANDIN_KormServerHandle(node), 9);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(std::string(held->LocName), name);
    EXPECT_EQ(std::string(held->imageName), image);
    EXPECT_EQ(std::string(held->LocExtName), std::string(32, 'E'));
    EXPECT_TRUE(zt::HasLog("[Zelm]Try Create location, OsInst(0x1) LocId(9) LocGrp(0)LocType(0) LocName(" + name +
                               ") imageName(" + image + ") Lrid(0).",
                           LORN_LEVEL_INFO, "ZelmProcCreateLocation"));
    EXPECT_TRUE(zt::HasLog("[Zelm]The location (locIndex:9,osnode:1) " + name + " create success.", LORN_LEVEL_INFO));
}

// ---- create and update -------------------------------------------------------------------

TEST_F(LocationCfgTest, SecondCreateOverwritesResetsStateAndGoesToTheNewNodeOnly)
{
    const uint32_t first = NodeUp(1);
    const uint32_t second = NodeUp(2);
    ASSERT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(3, first, "mover")), 0u);
    Settle();
    ASSERT_EQ(ZelmTryFindLocationInst(LocCb(), 3)->publishState, ZELM_LOC_STATE_PUBLISHED);

    const size_t before = STANDIN_RpcCallCount();
    ZelmLocInstCfg moved = zt::LocCfg(3, second, "moved");
    moved.Lrid = 44;
    EXPECT_EQ(Loc(ZELM_CFG_OP_MOD, moved), 0u);
    const locationInst *inst = ZelmTryFindLocationInst(LocCb(), 3);
    EXPECT_EQ(inst->publishState, ZELM_LOC_STATE_CFG);
    EXPECT_EQ(inst->osNodeId, second);
    EXPECT_EQ(std::memcmp(&inst->instCfg, &moved, sizeof(moved)), 0);
    ASSERT_EQ(STANDIN_RpcCallCount(), before + 1);
    EXPECT_EQ(STANDIN_RpcCallGet(before)->handle, STANDIN_KormServerHandle(second));
    EXPECT_EQ(STANDIN_RpcCallGet(before)->opType, ZELM_LOC_OP_ADD);
    Settle();
    EXPECT_EQ(STANDIN_AgentLocFind(STANDIN_KormServerHandle(second), 3)->Lrid, 44u);
}

TEST_F(LocationCfgTest, HighByteOfOsInstIsClearedInTheNodeAndPrintedInFull)
{
    const uint32_t node = NodeUp(2);
    const uint32_t osInst = 0xAB000000u | node;
    const std::string dec = std::to_string(osInst);
    EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(7, osInst, "hi")), 0u);
    EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), 7)->osNodeId, node);
    EXPECT_TRUE(zt::HasLog("[Zelm]Try Create location, OsInst(0xab000002) LocId(7) LocGrp(0)LocType(0) LocName(hi) "
                           "imageName(app.service) Lrid(0).",
                           LORN_LEVEL_INFO));
    EXPECT_TRUE(zt::HasLog("[Zelm]The location (locIndex:7,osnode:" + dec + ") hi create success.", LORN_LEVEL_INFO));
    Settle();
    EXPECT_EQ(STANDIN_AgentLocFind(STANDIN_KormServerHandle(node), 7)->OsInst, osInst);

    EXPECT_EQ(Loc(ZELM_CFG_OP_DEL, zt::LocCfg(7, osInst, "hi")), 0u);
    EXPECT_TRUE(zt::HasLog("[Zelm]Try delete location, OsInst(0xab000002) LocId(7) LocGrp(0)LocType(0) LocName(hi) "
                           "imageName(app.service) Lrid(0).",
                           LORN_LEVEL_INFO, "ZelmProcDeleteLocation"));
    EXPECT_TRUE(zt::HasLog("[Zelm]The location (locIndex:7,osnode:" + dec + ") hi delete success.", LORN_LEVEL_INFO));
    EXPECT_EQ(Loc(ZELM_CFG_OP_DEL, zt::LocCfg(7, osInst, "hi")), 0u);
    EXPECT_TRUE(zt::HasLog("zelm location, not find inst by instcfg. locInstName hi(osnode " + dec + ") locIndex 7",
                           LORN_LEVEL_INFO));
}

TEST_F(LocationCfgTest, OpCodeThreeOrAboveDoesNothing)
{
    for (uint16_t op : {uint16_t{3}, uint16_t{0xFFFF}}) {
        STANDIN_LogClear();
        EXPECT_EQ(Loc(op, zt::LocCfg(1, 1, "x")), 0u);
        EXPECT_EQ(Grp(op, zt::GrpCfg(1, 2)), 0u);
        EXPECT_EQ(HandlerLogLines(), 0u);
    }
    EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), 1), nullptr);
    EXPECT_EQ(ZelmTryFindLogicGrpInst(LocCb(), 1), nullptr);
}

TEST_F(LocationCfgTest, UnreadableAtomsFailWithTheirOwnLines)
{
    STANDIN_FailCall("QOF_GetAtomOpCode", 1, 1);
    EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(1, 1, "x")), 0xFFFFFFFFu);
    EXPECT_TRUE(zt::HasLog("Zelm Proc location table get opcode failed.", LORN_LEVEL_ERROR, "ZELM_ProcTuvLocation"));
    STANDIN_FailCall("QOF_GetRecData", 1, 1);
    EXPECT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(1, 1, "x")), 0xFFFFFFFFu);
    EXPECT_TRUE(zt::HasLog("Zelm Proc location table get RecData failed.", LORN_LEVEL_ERROR, "ZELM_ProcTuvLocation"));
    STANDIN_FailCall("QOF_GetAtomOpCode", 1, 1);
    EXPECT_EQ(Grp(ZELM_CFG_OP_ADD, zt::GrpCfg(1, 1)), 0xFFFFFFFFu);
    EXPECT_TRUE(zt::HasLog("Zelm Proc loc logic group table get opcode failed.", LORN_LEVEL_ERROR,
                           "ZELM_ProcTuvLocLogicGrp"));
    STANDIN_FailCall("QOF_GetRecData", 1, 1);
    EXPECT_EQ(Grp(ZELM_CFG_OP_ADD, zt::GrpCfg(1, 1)), 0xFFFFFFFFu);
    EXPECT_TRUE(zt::HasLog("Zelm Proc loc logic group table get RecData failed.", LORN_LEVEL_ERROR,
                           "ZELM_ProcTuvLocLogicGrp"));
    EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), 1), nullptr);
    EXPECT_EQ(ZelmTryFindLogicGrpInst(LocCb(), 1), nullptr);
}

TEST_F(LocationCfgTest, HandlersWithoutTheModuleFail)
{
    StopLibrary();
    const ZelmLocInstCfg loc = zt::LocCfg(1, 1, "x");
    const ZelmLogicLocGrpCfg grp = zt::GrpCfg(1, 1);
    EXPECT_EQ(ZELM_LocationProc(&loc, ZELM_CFG_OP_ADD), 0xFFFFFFFFu);
    EXPECT_TRUE(zt::HasLog("ZELM Proc location table get locationCb failed.", LORN_LEVEL_ERROR, "ZELM_LocationProc"));
    EXPECT_EQ(ZELM_LocLogicGrpProc(&grp, ZELM_CFG_OP_ADD), 0xFFFFFFFFu);
    EXPECT_TRUE(zt::HasLog("ZELM Proc locLogic group table get locationCb failed.", LORN_LEVEL_ERROR,
                           "ZELM_LocLogicGrpProc"));
}

// ---- location delete -----------------------------------------------------------------------

TEST_F(LocationCfgTest, DeleteOfAPublishedLocationWithdrawsItsComponentsFirst)
{
    const uint32_t node = NodeUp(3);
    ASSERT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(12, node, "busy")), 0u);
    AddComponent(node, 12, 1);
    ASSERT_EQ(ZelmTryFindLocationInst(LocCb(), 12)->publishState, ZELM_LOC_STATE_PUBLISHED);

    const size_t before = STANDIN_RpcCallCount();
    const size_t logBefore = zt::PlainLog().size();
    EXPECT_EQ(Loc(ZELM_CFG_OP_DEL, zt::LocCfg(12, node, "busy", "other.service")), 0u);
    const std::vector<Call> calls = CallsSince(before);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, STANDIN_RPC_COMP);
    EXPECT_EQ(calls[0].opType, ZELM_COMP_OP_DEL);
    EXPECT_EQ(calls[1].kind, STANDIN_RPC_LOC);
    EXPECT_EQ(calls[1].opType, ZELM_LOC_OP_DEL);
    EXPECT_STREQ(LastLocCall()->locEntries[0].imageName, "app.service") << "the stored record is withdrawn";
    const size_t compDone = zt::FindLog("zelm comp, delete comp by locIndex 12 finished.", logBefore);
    const size_t locDone = zt::FindLog("[Zelm]The location (locIndex:12,osnode:3) busy delete success.", logBefore);
    ASSERT_NE(compDone, SIZE_MAX);
    ASSERT_NE(locDone, SIZE_MAX);
    EXPECT_LT(compDone, locDone);
    EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), 12), nullptr);
    EXPECT_FALSE(CompModuleKnows(12));
    Settle();
    const QOF_ConnHandle agent = STANDIN_KormServerHandle(node);
    EXPECT_EQ(STANDIN_AgentLocFind(agent, 12), nullptr);
    EXPECT_EQ(STANDIN_AgentCompFind(agent, 12, 1), nullptr);
}

// ---- logic groups ----------------------------------------------------------------------------

TEST_F(LocationCfgTest, GroupBeforeItsLocationIsCarriedByTheLocationsFirstPublication)
{
    const uint32_t node = NodeUp(6);
    const size_t before = STANDIN_RpcCallCount();
    EXPECT_EQ(Grp(ZELM_CFG_OP_ADD, zt::GrpCfg(20, 200, 2)), 0u);
    EXPECT_EQ(STANDIN_RpcCallCount(), before);
    EXPECT_TRUE(zt::HasLog("[Zelm]Try Create LogicLocGrp, locIndex(20) logicId(200) faultPolicy(2)", LORN_LEVEL_INFO,
                           "ZelmProcTuvCreateLogicLocGrp"));
    EXPECT_TRUE(zt::HasLog("[Zelm] create logic group ok. logicId 200, logindex 20", LORN_LEVEL_INFO));

    ASSERT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(20, node, "grouped")), 0u);
    EXPECT_EQ(LastLocCall()->locEntries[0].logicId, 200u);
    EXPECT_EQ(LastLocCall()->locEntries[0].faultPolicy, 2u);
}

TEST_F(LocationCfgTest, GroupDeleteWithdrawsComponentsAndLocationButKeepsTheInstance)
{
    const uint32_t node = NodeUp(8);
    ASSERT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(22, node, "loc")), 0u);
    ASSERT_EQ(Grp(ZELM_CFG_OP_ADD, zt::GrpCfg(22, 220, 1)), 0u);
    AddComponent(node, 22, 1);

    const size_t before = STANDIN_RpcCallCount();
    EXPECT_EQ(Grp(ZELM_CFG_OP_DEL, zt::GrpCfg(22, 999, 9)), 0u);
    const std::vector<Call> calls = CallsSince(before);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, STANDIN_RPC_COMP);
    EXPECT_EQ(calls[0].opType, ZELM_COMP_OP_DEL);
    EXPECT_EQ(calls[1].kind, STANDIN_RPC_LOC);
    EXPECT_EQ(calls[1].opType, ZELM_LOC_OP_DEL);
    EXPECT_EQ(LastLocCall()->locEntries[0].logicId, 220u) << "the deletion carries the stored group";
    EXPECT_TRUE(zt::HasLog("[Zelm]Try delete LogicLocGrp, locIndex(22) logicId(999) faultPolicy(9)", LORN_LEVEL_INFO,
                           "ZelmProcTuvDeleteLogicLocGrp"));
    EXPECT_TRUE(zt::HasLog("[Zelm] delete logic group ok. logicId 999, logindex 22", LORN_LEVEL_INFO));
    EXPECT_EQ(ZelmTryFindLogicGrpInst(LocCb(), 22), nullptr);
    EXPECT_NE(ZelmTryFindLocationInst(LocCb(), 22), nullptr);
    EXPECT_FALSE(CompModuleKnows(22));
    Settle();
    EXPECT_EQ(STANDIN_AgentLocFind(STANDIN_KormServerHandle(node), 22), nullptr);

    // The next republication of the node carries the location again, with the default group.
    EXPECT_EQ(STANDIN_KormRaiseOsNodeLink(node, 1), 0);
    STANDIN_RunDue();
    Settle();
    const STANDIN_LocEntry *held = STANDIN_AgentLocFind(STANDIN_KormServerHandle(node), 22);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->logicId, 0xFFFFFFFFu);
    EXPECT_EQ(held->faultPolicy, 0u);
}

TEST_F(LocationCfgTest, GroupDeleteWithoutGroupOnlyLogs)
{
    const uint32_t node = NodeUp(10);
    ASSERT_EQ(Loc(ZELM_CFG_OP_ADD, zt::LocCfg(24, node, "loc")), 0u);
    const size_t before = STANDIN_RpcCallCount();
    EXPECT_EQ(Grp(ZELM_CFG_OP_DEL, zt::GrpCfg(24, 5, 6)), 0u);
    EXPECT_TRUE(zt::HasLog("zelm LogicLocGrp, not find inst by instcfg. locIndex 24 (logicId 5) faultPolicy 6",
                           LORN_LEVEL_INFO, "ZelmProcTuvDeleteLogicLocGrp"));
    EXPECT_EQ(STANDIN_RpcCallCount(), before);
    EXPECT_EQ(zt::CountLog("zelm comp, delete comp by locIndex 24 finished."), 0u);
}

}  // namespace
