// LOCATION publication: the road of a location to its node agent, OS-node links, smoothing and the retry timer.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

constexpr uint32_t kTick = 5000;

locationCb *LocCb() { return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION)); }

struct Node {
    uint32_t id;
    QOF_ConnHandle handle;
};

// Declares an OS node with an agent and brings its link up.
Node NodeUp(uint32_t chassis, uint32_t slot, uint32_t cpu)
{
    const uint32_t id = STANDIN_KormAddOsNode(chassis, slot, cpu, 1);
    EXPECT_EQ(STANDIN_KormRaiseOsNodeLink(id, 1), 0);
    STANDIN_RunDue();
    return {id, STANDIN_KormServerHandle(id)};
}

void Link(uint32_t id, int up)
{
    EXPECT_EQ(STANDIN_KormRaiseOsNodeLink(id, up), 0);
    STANDIN_RunDue();
}

// Lets every accepted call complete, well before the next timer tick.
void Settle() { STANDIN_RunFor(10); }

// One timer interval, then the completions of what the tick sent.
void TickOnce()
{
    STANDIN_RunFor(kTick);
    Settle();
}

std::vector<const STANDIN_RpcCall *> LocCalls()
{
    std::vector<const STANDIN_RpcCall *> calls;
    for (size_t i = 0; i < STANDIN_RpcCallCount(); ++i) {
        const STANDIN_RpcCall *c = STANDIN_RpcCallGet(i);
        if (c->kind == STANDIN_RPC_LOC) {
            calls.push_back(c);
        }
    }
    return calls;
}

uint32_t StateOf(uint32_t locIndex)
{
    const locationInst *inst = ZelmTryFindLocationInst(LocCb(), locIndex);
    EXPECT_NE(inst, nullptr) << "no location " << locIndex;
    return inst != nullptr ? inst->publishState : 0xFFFFFFFFu;
}

size_t TimerEvents(STANDIN_TimerEventKind kind)
{
    const STANDIN_TimerInfo *info = STANDIN_TimerFind("ZelmLocSmooth");
    size_t n = 0;
    for (size_t i = 0; i < STANDIN_TimerEventCount(); ++i) {
        const STANDIN_TimerEvent *ev = STANDIN_TimerEventGet(i);
        if (info != nullptr && ev->timerId == info->timerId && ev->kind == kind) {
            ++n;
        }
    }
    return n;
}

bool TimerRunning()
{
    const STANDIN_TimerInfo *info = STANDIN_TimerFind("ZelmLocSmooth");
    return info != nullptr && info->running != 0;
}

uint32_t AddLocation(const ZelmLocInstCfg &cfg) { return zt::Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, cfg); }

// A location record with every field distinct, so that a swapped field shows.
ZelmLocInstCfg FullLocCfg(uint32_t locId, uint32_t osInst)
{
    ZelmLocInstCfg cfg = zt::LocCfg(locId, osInst, "loc-full", "img.service");
    cfg.LocType = 11;
    cfg.LocGrp = 12;
    cfg.LocParam1 = 13;
    cfg.Lrid = 14;
    cfg.LocParam2 = 15;
    cfg.LocParam3 = 16;
    cfg.LocParam4 = 17;
    cfg.LocParam5 = 18;
    cfg.LocParam6 = 19;
    std::strcpy(cfg.LocExtName, "ext-full");
    return cfg;
}

void ExpectEntry(const STANDIN_LocEntry &e, const ZelmLocInstCfg &cfg, const ZelmLogicLocGrpCfg &grp)
{
    EXPECT_EQ(e.LocId, cfg.LocId);
    EXPECT_EQ(e.LocType, cfg.LocType);
    EXPECT_STREQ(e.LocName, cfg.LocName);
    EXPECT_EQ(e.OsInst, cfg.OsInst);
    EXPECT_EQ(e.LocGrp, cfg.LocGrp);
    EXPECT_EQ(e.LocParam1, cfg.LocParam1);
    EXPECT_EQ(e.Lrid, cfg.Lrid);
    EXPECT_EQ(e.LocParam2, cfg.LocParam2);
    EXPECT_EQ(e.LocParam3, cfg.LocParam3);
    EXPECT_EQ(e.LocParam4, cfg.LocParam4);
    EXPECT_EQ(e.LocParam5, cfg.LocParam5);
    EXPECT_EQ(e.LocParam6, cfg.LocParam6);
    EXPECT_EQ(e.reserved1, 0u);
    EXPECT_STREQ(e.imageName, cfg.imageName);
    EXPECT_STREQ(e.LocExtName, cfg.LocExtName);
    EXPECT_EQ(e.logicId, grp.logicId);
    EXPECT_EQ(e.faultPolicy, grp.faultPolicy);
    EXPECT_EQ(e.grpParam1, grp.grpParam1);
    EXPECT_EQ(e.grpParam2, grp.grpParam2);
    EXPECT_EQ(e.grpParam3, grp.grpParam3);
    EXPECT_EQ(e.reserved2, 0u);
    EXPECT_EQ(e.nullTexts, 0u);
}

class LocationPublishTest : public ZelmTest {};

TEST_F(LocationPublishTest, ServiceLocationReachesItsNodeAgentWithEveryFieldAndItsGroup)
{
    const Node node = NodeUp(1, 2, 3);
    ZelmLogicLocGrpCfg grp = zt::GrpCfg(7, 70, 3);
    grp.grpParam1 = 71;
    grp.grpParam2 = 72;
    grp.grpParam3 = 73;
    EXPECT_EQ(zt::Deliver(ZELM_CLASS_LOGIC_LOC_GRP, ZELM_CFG_OP_ADD, grp), 0u);
    const ZelmLocInstCfg withGroup = FullLocCfg(7, node.id);
    ZelmLocInstCfg withoutGroup = FullLocCfg(8, node.id);
    withoutGroup.LocType = 21;
    EXPECT_EQ(AddLocation(withGroup), 0u);
    EXPECT_EQ(AddLocation(withoutGroup), 0u);
    Settle();

    ASSERT_EQ(STANDIN_AgentLocCount(node.handle), 2u);
    const STANDIN_LocEntry *held = STANDIN_AgentLocFind(node.handle, 7);
    ASSERT_NE(held, nullptr);
    ExpectEntry(*held, withGroup, grp);
    held = STANDIN_AgentLocFind(node.handle, 8);
    ASSERT_NE(held, nullptr);
    ExpectEntry(*held, withoutGroup, ZelmLogicLocGrpCfg{0, 0xFFFFFFFFu, 0, 0, 0, 0});

    const std::vector<const STANDIN_RpcCall *> calls = LocCalls();
    ASSERT_EQ(calls.size(), 2u);
    for (const STANDIN_RpcCall *c : calls) {
        EXPECT_STREQ(c->method, "KorbLocSubscribe");
        EXPECT_EQ(c->handle, node.handle);
        EXPECT_EQ(c->reqLen, 16u);
        EXPECT_EQ(c->flags, 0u);
        EXPECT_EQ(c->opType, ZELM_LOC_OP_ADD);
        EXPECT_EQ(c->entryNum, 1u);
    }
    EXPECT_EQ(StateOf(7), ZELM_LOC_STATE_PUBLISHED);
    EXPECT_EQ(StateOf(8), ZELM_LOC_STATE_PUBLISHED);
    EXPECT_TRUE(zt::HasLog("[ZELM]publish location inst to osnode(id " + std::to_string(node.id) + ") ok.",
                           LORN_LEVEL_INFO, "ZelmLocationSendMsgReliably"));
    EXPECT_TRUE(zt::HasLog("zelm publish osNodeId " + std::to_string(node.id) + " opType 0 location num 1 to korb success.",
                           LORN_LEVEL_INFO, "ZelmLocPublishLocationInst"));
    EXPECT_TRUE(zt::HasLog("zelm publish location cbk , success:1 errno:0", LORN_LEVEL_INFO,
                           "ZelmLocPublishLocationInstCbk"));
    EXPECT_FALSE(TimerRunning());
}

TEST_F(LocationPublishTest, LocationConfiguredBeforeItsNodeIsSmoothedWhenTheLinkComesUp)
{
    const uint32_t id = STANDIN_KormAddOsNode(0, 5, 0, 1);
    EXPECT_EQ(AddLocation(zt::LocCfg(3, id, "early")), 0u);
    Settle();
    EXPECT_TRUE(zt::HasLog("zelm publish location inst not ok.locName early(osnode:5) locIndex 3", LORN_LEVEL_INFO,
                           "ZelmTryPublishLocationInst"));
    EXPECT_TRUE(LocCalls().empty());
    EXPECT_EQ(TimerEvents(STANDIN_TIMER_START), 0u);
    EXPECT_EQ(StateOf(3), ZELM_LOC_STATE_CFG);

    Link(id, 1);
    Settle();
    const std::vector<const STANDIN_RpcCall *> calls = LocCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->opType, ZELM_LOC_OP_SMOOTH);
    EXPECT_NE(STANDIN_AgentLocFind(STANDIN_KormServerHandle(id), 3), nullptr);
    EXPECT_EQ(StateOf(3), ZELM_LOC_STATE_PUBLISHED);
    EXPECT_TRUE(zt::HasLog("zelm locationInst, sub osNodeId(0x5) link ok.", LORN_LEVEL_INFO, "ZelmLocSubOsNodeLink"));
    EXPECT_TRUE(zt::HasLog("zelm osNodeId(5) try to publish smooth locationInst finished: batchNum 1, realNum 1.",
                           LORN_LEVEL_INFO, "ZelmLocTrySmoothOsnodeInst"));
}

TEST_F(LocationPublishTest, HaRoleForbidsPublicationFromConfigurationAndFromLinkUp)
{
    STANDIN_MirlSetHaRole(1);
    const Node node = NodeUp(0, 1, 0);
    ASSERT_NE(ZelmLocTryFindOsNode(LocCb(), node.id), nullptr) << "the node is known all the same";
    STANDIN_LogClear();
    EXPECT_EQ(AddLocation(zt::LocCfg(4, node.id, "quiet")), 0u);
    Link(node.id, 1);
    Settle();
    EXPECT_TRUE(LocCalls().empty());
    EXPECT_EQ(StateOf(4), ZELM_LOC_STATE_CFG);
    for (const zt::LogLine &l : zt::PlainLog()) {
        EXPECT_NE(l.func, "ZelmTryPublishLocationInst");
        EXPECT_NE(l.func, "ZelmLocTrySmoothOsnodeInst");
    }
    EXPECT_EQ(zt::CountLog("[Zelm]The location (locIndex:4,osnode:1) quiet create success."), 1u);

    STANDIN_MirlSetHaRole(0);
    Link(node.id, 1);
    Settle();
    ASSERT_EQ(LocCalls().size(), 1u);
    EXPECT_EQ(LocCalls()[0]->opType, ZELM_LOC_OP_SMOOTH);
    EXPECT_EQ(StateOf(4), ZELM_LOC_STATE_PUBLISHED);
}

TEST_F(LocationPublishTest, NodeOfFiveHundredLocationsIsSmoothedInOneRequestInAscendingIndex)
{
    const uint32_t id = STANDIN_KormAddOsNode(2, 1, 0, 1);
    const uint32_t other = STANDIN_KormAddOsNode(2, 2, 0, 1);
    for (uint32_t n = 0; n < 500; ++n) {
        const uint32_t locId = (n * 7919u) % 500u * 2u;  // every even index below 1000, out of order
        ASSERT_EQ(AddLocation(zt::LocCfg(locId, id, "many")), 0u);
        ASSERT_EQ(AddLocation(zt::LocCfg(locId + 1u, other, "elsewhere")), 0u);
    }
    Link(id, 1);
    Settle();

    const std::vector<const STANDIN_RpcCall *> calls = LocCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->opType, ZELM_LOC_OP_SMOOTH);
    ASSERT_EQ(calls[0]->entryNum, 500u);
    for (uint32_t i = 0; i < 500; ++i) {
        EXPECT_EQ(calls[0]->locEntries[i].LocId, i * 2u);
        EXPECT_EQ(calls[0]->locEntries[i].OsInst, id);
        EXPECT_EQ(calls[0]->locEntries[i].logicId, 0xFFFFFFFFu);
    }
    EXPECT_EQ(STANDIN_AgentLocCount(STANDIN_KormServerHandle(id)), 500u);
    EXPECT_EQ(StateOf(998), ZELM_LOC_STATE_PUBLISHED);
    EXPECT_EQ(StateOf(999), ZELM_LOC_STATE_CFG);
    EXPECT_TRUE(zt::HasLog("zelm osNodeId(" + std::to_string(id) +
                               ") try to publish smooth locationInst finished: batchNum 1000, realNum 500.",
                           LORN_LEVEL_INFO));
    EXPECT_EQ(zt::CountLog("zelm osNodeId(" + std::to_string(id) +
                               ") try to publish smooth locationInst : locName many, locIndex 0, locType 0.",
                           "ZelmLocTrySmoothSetLocationInst"),
              1u);
}

TEST_F(LocationPublishTest, LinkDownForgetsTheNodeAndLinkUpRepublishesAllItsLocations)
{
    const Node node = NodeUp(0, 3, 0);
    for (uint32_t locId : {30u, 10u, 20u}) {
        AddLocation(zt::LocCfg(locId, node.id, "kept"));
    }
    Settle();
    Link(node.id, 0);
    EXPECT_EQ(ZelmLocTryFindOsNode(LocCb(), node.id), nullptr);
    EXPECT_EQ(StateOf(10), ZELM_LOC_STATE_PUBLISHED) << "locations stay as they were";
    EXPECT_TRUE(zt::HasLog("zelm locationInst, sub osnode(osNodeId 3) link, del osnode tree.", LORN_LEVEL_INFO,
                           "ZelmLocSubOsNodeLink"));
    EXPECT_TRUE(zt::HasLog("zelm location sub osid 0x3(chassis 0,slot 3, cpu 0, ab 0).", LORN_LEVEL_INFO));

    STANDIN_RpcCallClear();
    Link(node.id, 1);
    Settle();
    const std::vector<const STANDIN_RpcCall *> calls = LocCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->opType, ZELM_LOC_OP_SMOOTH);
    ASSERT_EQ(calls[0]->entryNum, 3u);
    EXPECT_EQ(calls[0]->locEntries[0].LocId, 10u);
    EXPECT_EQ(calls[0]->locEntries[1].LocId, 20u);
    EXPECT_EQ(calls[0]->locEntries[2].LocId, 30u);
}

TEST_F(LocationPublishTest, OsNodeIdIsTheSumOfThePositionSoALargeSlotCarries)
{
    // (3 << 16) + (1 << 8) + 258: the slot carries into the chassis byte.
    const Node node = NodeUp(1, 258, 3);
    const uint32_t expected = (3u << 16) + (1u << 8) + 258u;
    ASSERT_EQ(node.id, expected);
    EXPECT_TRUE(zt::HasLog("zelm location sub osid 0x30202(chassis 1,slot 258, cpu 3, ab 1).", LORN_LEVEL_INFO,
                           "ZelmLocSubOsNodeLink"));
    const osNodeInst *rec = ZelmLocTryFindOsNode(LocCb(), expected);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->chanHandle, node.handle);
    EXPECT_EQ(rec->publishFault, 0u);
    EXPECT_EQ(AddLocation(zt::LocCfg(1, expected, "carried")), 0u);
    Settle();
    EXPECT_NE(STANDIN_AgentLocFind(node.handle, 1), nullptr);
}

TEST_F(LocationPublishTest, LinkUpWithoutLocationsOrWithoutAgentSendsNothing)
{
    const Node empty = NodeUp(0, 1, 0);
    EXPECT_TRUE(zt::HasLog("zelm osNodeInst(osNodeId 1), locationInstTree has no instance.", LORN_LEVEL_INFO,
                           "ZelmLocTrySmoothOsnodeInst"));
    AddLocation(zt::LocCfg(5, 0x77, "far"));
    Link(empty.id, 1);
    EXPECT_TRUE(zt::HasLog("zelm osNodeInst(osNodeId 1) osNodeTree has no location data.", LORN_LEVEL_INFO,
                           "ZelmLocTrySmoothOsnodeInst"));

    const uint32_t agentless = STANDIN_KormAddOsNode(0, 2, 0, 0);
    AddLocation(zt::LocCfg(6, agentless, "orphan"));
    Link(agentless, 1);
    ASSERT_NE(ZelmLocTryFindOsNode(LocCb(), agentless), nullptr);
    EXPECT_EQ(ZelmLocTryFindOsNode(LocCb(), agentless)->chanHandle, 0u);
    EXPECT_TRUE(zt::HasLog("zelm osNodeInst, osNodeInst(osNodeId 2) chanHandle is NULL.", LORN_LEVEL_INFO,
                           "ZelmLocTrySmoothOsnodeInst"));
    AddLocation(zt::LocCfg(7, agentless, "orphan2"));
    EXPECT_TRUE(zt::HasLog("zelm publish location inst not ok.locName orphan2(osnode:2) locIndex 7", LORN_LEVEL_INFO));
    Settle();
    EXPECT_TRUE(LocCalls().empty());
}

TEST_F(LocationPublishTest, RefusedCallIsRetriedByTheTimerWithoutHaRoleUntilItSucceeds)
{
    const Node node = NodeUp(0, 4, 0);
    STANDIN_AgentScript script{};
    ASSERT_EQ(STANDIN_AgentGetScript(node.handle, &script), 0);
    script.refuseNext = 3;
    script.refuseStatus = 9;
    ASSERT_EQ(STANDIN_AgentSetScript(node.handle, &script), 0);

    AddLocation(zt::LocCfg(40, node.id, "stubborn"));
    EXPECT_TRUE(zt::HasLog("[ZELM]publish location inst to osnode(id 4) not ok, ret = 9", LORN_LEVEL_ERROR,
                           "ZelmLocationSendMsgReliably"));
    EXPECT_TRUE(zt::HasLog("zelm publish osNodeId 4 opType 0 location num 1 to korb failed.", LORN_LEVEL_INFO));
    EXPECT_TRUE(zt::HasLog("zelm publish opType 0 locationInst not ok. locName stubborn(osnode:4) locIndex 40",
                           LORN_LEVEL_ERROR, "ZelmTryPublishLocationInst"));
    EXPECT_TRUE(zt::HasLog("zelm try to publish opType 0 locationInst finished.locName stubborn(osnode:4) locIndex 40",
                           LORN_LEVEL_INFO, "ZelmTryPublishLocationInst"));
    EXPECT_EQ(ZelmLocTryFindOsNode(LocCb(), node.id)->publishFault, 1u);
    EXPECT_TRUE(TimerRunning());

    STANDIN_MirlSetHaRole(1);  // retries do not ask for the role
    TickOnce();
    TickOnce();
    EXPECT_EQ(StateOf(40), ZELM_LOC_STATE_CFG);
    EXPECT_TRUE(zt::HasLog("zelm osNodeId(4) publish smooth locationInst not ok.", LORN_LEVEL_ERROR,
                           "ZelmLocTrySmoothOsnodeInst"));
    TickOnce();

    const std::vector<const STANDIN_RpcCall *> calls = LocCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0]->opType, ZELM_LOC_OP_ADD);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i]->outcome, i < 3 ? STANDIN_RPC_REFUSED : STANDIN_RPC_COMPLETED);
        if (i > 0) {
            EXPECT_EQ(calls[i]->opType, ZELM_LOC_OP_SMOOTH);
        }
    }
    EXPECT_EQ(StateOf(40), ZELM_LOC_STATE_PUBLISHED);
    EXPECT_EQ(ZelmLocTryFindOsNode(LocCb(), node.id)->publishFault, 0u);
    EXPECT_FALSE(TimerRunning());
    EXPECT_EQ(TimerEvents(STANDIN_TIMER_STOP), 1u);
    TickOnce();
    EXPECT_EQ(LocCalls().size(), 4u) << "a stopped timer sends nothing";
}

TEST_F(LocationPublishTest, CompletionWithoutReplyCountsAsFailure)
{
    const Node node = NodeUp(0, 7, 0);
    STANDIN_AgentScript script{};
    STANDIN_AgentGetScript(node.handle, &script);
    script.noReplyNext = 1;
    STANDIN_AgentSetScript(node.handle, &script);
    AddLocation(zt::LocCfg(70, node.id, "mute"));
    Settle();
    EXPECT_TRUE(zt::HasLog("zelm publish location inst cbk fail, outMsg is null, success:1 errno:0", LORN_LEVEL_ERROR,
                           "ZelmLocPublishLocationInstCbk"));
    EXPECT_EQ(StateOf(70), ZELM_LOC_STATE_FAILED);
    EXPECT_EQ(ZelmLocTryFindOsNode(LocCb(), node.id)->publishFault, 1u);
    EXPECT_TRUE(TimerRunning());
}

TEST_F(LocationPublishTest, CompletionAfterLinkDownChangesNoState)
{
    const Node node = NodeUp(0, 8, 0);
    STANDIN_AgentScript script{};
    STANDIN_AgentGetScript(node.handle, &script);
    script.latencyMs = 100;
    STANDIN_AgentSetScript(node.handle, &script);
    ZelmLocInstCfg cfg = zt::LocCfg(80, node.id | 0x11000000u, "late");
    AddLocation(cfg);
    Link(node.id, 0);
    STANDIN_RunFor(200);
    EXPECT_TRUE(zt::HasLog("zelm publish location inst cbk fail, find osNodeInst(osNodeId = 8, osInstance = " +
                               std::to_string(cfg.OsInst) + ") error",
                           LORN_LEVEL_ERROR, "ZelmLocationPublishUpdationDone"));
    EXPECT_EQ(StateOf(80), ZELM_LOC_STATE_CFG);
    EXPECT_FALSE(TimerRunning());
}

TEST_F(LocationPublishTest, CompletionWithoutRequestChangesNothing)
{
    ZelmLocPublishLocationInstCbk(QOF_RpcResult{0, 7}, nullptr, nullptr, LocCb());
    EXPECT_TRUE(zt::HasLog("zelm publish location inst cbk fail, inmsg is null, success:0 errno:7", LORN_LEVEL_ERROR,
                           "ZelmLocPublishLocationInstCbk"));
    EXPECT_FALSE(TimerRunning());
}

TEST_F(LocationPublishTest, SmoothTimerIsMadeStoppedOnTheNodeStatusThread)
{
    const STANDIN_TimerInfo *info = STANDIN_TimerFind("ZelmLocSmooth");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->cbPair.callback, &ZelmLocSmoothTimerCbk);
    EXPECT_EQ(info->cbPair.userData, static_cast<void *>(LocCb()));
    EXPECT_EQ(info->mode, 1u);
    EXPECT_EQ(info->interval, 5000u);
    EXPECT_EQ(info->nameLen, 13u);
    EXPECT_EQ(info->thHandle, STANDIN_KormLocalData()->thHandle);
    EXPECT_EQ(info->running, 0u);
    EXPECT_EQ(LocCb()->smoothTimer != nullptr, true);
    EXPECT_TRUE(zt::HasLog("[ZELM] locationInst init create smooth timer ok.", LORN_LEVEL_INFO,
                           "ZelmLocInitSmoothTimer"));
}

}  // namespace
