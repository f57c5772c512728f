// COMP publication: the road to the agent, completions, fault flags, the smooth timer and link smoothing.
#include <cstring>
#include <string>

#include "comp_fixture.h"
#include "platform/lorn.h"

namespace {

class CompPublishTest : public CompTest {
protected:
    static void Script(QOF_ConnHandle agent, uint32_t refuseNext, uint32_t failNext, uint32_t failResult = 1,
                       uint32_t noReplyNext = 0)
    {
        STANDIN_AgentScript script{};
        ASSERT_EQ(STANDIN_AgentGetScript(agent, &script), 0);
        script.refuseNext = refuseNext;
        script.failNext = failNext;
        script.failResult = failResult;
        script.noReplyNext = noReplyNext;
        ASSERT_EQ(STANDIN_AgentSetScript(agent, &script), 0);
    }
    // One smooth interval, then the agents' answers to what the tick sent.
    static void Tick()
    {
        STANDIN_RunFor(ZELM_COMP_SMOOTH_INTERVAL);
        Settle();
    }
};

TEST_F(CompPublishTest, ConfiguredComponentReachesTheAnnouncedLocationWithEveryField)
{
    ASSERT_EQ(Type(ZELM_CFG_OP_ADD, zt::CompNodeCfg(10, "typeA", 0x77, "file.bin", "extra")), 0u);
    ZelmCompInstCfg comp = zt::CompCfg(5, 42, 10, "inst42", static_cast<int32_t>(0x80000123u));
    comp.attr1 = 101;
    comp.attr2 = 102;
    comp.attr3 = 103;
    comp.attr4 = 104;
    comp.attr5 = 105;
    comp.attr6 = 106;
    comp.attr7 = 107;
    comp.attr8 = 108;
    comp.attr9 = 109;
    ASSERT_EQ(Comp(ZELM_CFG_OP_ADD, comp), 0u);
    EXPECT_TRUE(CompCalls().empty()) << "nothing goes out before the location has a channel";

    const QOF_ConnHandle agent = Announce(5);
    Settle();

    const auto calls = CompCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->handle, agent);
    EXPECT_STREQ(calls[0]->method, "KorbCompSubscribe");
    EXPECT_EQ(calls[0]->reqLen, 24u);
    EXPECT_EQ(calls[0]->flags, 0u);
    EXPECT_EQ(calls[0]->opType, ZELM_COMP_OP_SMOOTH);
    EXPECT_EQ(calls[0]->locIndex, 5u);
    EXPECT_EQ(calls[0]->reserved, 0u);
    EXPECT_EQ(calls[0]->entryNum, 1u);
    EXPECT_EQ(calls[0]->outcome, STANDIN_RPC_COMPLETED);

    const STANDIN_CompEntry *held = STANDIN_AgentCompFind(agent, 5, 42);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->compType, 10u);
    EXPECT_EQ(held->reserved1, 0u);
    EXPECT_STREQ(held->compTypeName, "typeA");
    EXPECT_STREQ(held->compFileName, "file.bin");
    EXPECT_STREQ(held->compExtName, "extra");
    EXPECT_STREQ(held->compInstName, "inst42");
    EXPECT_EQ(held->nullTexts, 0u);
    EXPECT_EQ(held->attr7, 107u);
    EXPECT_EQ(held->compClass, 0x77u);
    EXPECT_EQ(held->compInst, 42u);
    EXPECT_EQ(held->attr1, 101u);
    EXPECT_EQ(held->cfgStatus, 0x80000123u);
    EXPECT_EQ(held->attr2, 102u);
    EXPECT_EQ(held->locIndex, 5u);
    EXPECT_EQ(held->attr3, 103u);
    EXPECT_EQ(held->attr4, 104u);
    EXPECT_EQ(held->attr5, 105u);
    EXPECT_EQ(held->attr6, 106u);
    EXPECT_EQ(held->attr8, 108u);
    EXPECT_EQ(held->attr9, 109u);
    EXPECT_EQ(held->reserved2, 0u);

    EXPECT_TRUE(zt::HasLog("zelm comp, state switch : 0->1", LORN_LEVEL_INFO, "ZelmCompSetState"));
    EXPECT_EQ(SmoothTimer()->running, 0u);
}

TEST_F(CompPublishTest, ComponentAddedToALinkedLocationIsPublishedAtOnce)
{
    const QOF_ConnHandle agent = Announce(7);
    EXPECT_TRUE(zt::HasLog("zelm comp, location(locIndex 7) componentTree has no comp.", LORN_LEVEL_INFO,
                           "ZelmCompTrySmoothComponent"));
    EXPECT_TRUE(CompCalls().empty());

    ASSERT_EQ(AddType(10), 0u);
    ASSERT_EQ(AddComp(7, 1, 10), 0u);
    Settle();
    const auto calls = CompCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->opType, ZELM_COMP_OP_ADD);
    EXPECT_NE(STANDIN_AgentCompFind(agent, 7, 1), nullptr);
    EXPECT_TRUE(zt::HasLog("zelm try to publish comp finished.compInstName comp(1) locIndex 7", LORN_LEVEL_INFO,
                           "ZelmCompTryPublishComponent"));
}

TEST_F(CompPublishTest, RefusedCallStartsTheTimerWhoseTicksRepublishUntilACompletionSucceeds)
{
    const QOF_ConnHandle agent = Announce(5);
    ASSERT_EQ(AddType(10), 0u);
    Script(agent, 1, 1);  // refuse the add, then fail the first retry

    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    EXPECT_TRUE(zt::HasLog("zelm comp, publish component to location(locIndex 5) fail, ret = 1", LORN_LEVEL_ERROR,
                           "ZelmCompSendMsgReliably"));
    EXPECT_TRUE(zt::HasLog("zelm publish comp not ok.compInstName comp(1) locIndex 5", LORN_LEVEL_ERROR,
                           "ZelmCompTryPublishComponent"));
    EXPECT_EQ(Location(5)->publishFault, 1u);
    ASSERT_EQ(SmoothTimer()->running, 1u);

    Tick();
    EXPECT_EQ(SmoothTimer()->running, 1u) << "a failed retry keeps the timer running";
    Tick();
    EXPECT_EQ(SmoothTimer()->running, 0u);
    EXPECT_EQ(Location(5)->publishFault, 0u);

    const auto calls = CompCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0]->opType, ZELM_COMP_OP_ADD);
    EXPECT_EQ(calls[0]->outcome, STANDIN_RPC_REFUSED);
    EXPECT_EQ(calls[1]->opType, ZELM_COMP_OP_SMOOTH);
    EXPECT_EQ(calls[1]->replyResult, 1u);
    EXPECT_EQ(calls[2]->opType, ZELM_COMP_OP_SMOOTH);
    EXPECT_EQ(calls[2]->replyResult, 0u);
    EXPECT_EQ(zt::CountLog("zelm comp, try location smooth timer, locIndex 5", "ZelmCompSmoothTimerCbk"), 2u);
    EXPECT_NE(STANDIN_AgentCompFind(agent, 5, 1), nullptr);

    const size_t events = STANDIN_TimerEventCount();
    Tick();
    EXPECT_EQ(CompCalls().size(), 3u) << "a stopped timer republishes nothing";
    EXPECT_EQ(STANDIN_TimerEventCount(), events);
}

TEST_F(CompPublishTest, ResultWordFiveOrNoReplyCountsAsFailure)
{
    ASSERT_EQ(AddType(10), 0u);
    const QOF_ConnHandle five = Announce(5, 1);
    const QOF_ConnHandle silent = Announce(6, 2);
    Script(five, 0, 1, 5);
    Script(silent, 0, 0, 1, 1);
    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    ASSERT_EQ(AddComp(6, 1, 10), 0u);
    Settle();

    EXPECT_EQ(CompCalls().at(0)->replyResult, 5u);
    EXPECT_TRUE(zt::HasLog("zelm comp, publish component cbk fail, outMsg is null, success:1 errno:0",
                           LORN_LEVEL_ERROR, "ZelmCompPublishComponentCbk"));
    EXPECT_EQ(zt::CountLog("zelm comp, state switch : 0->2", "ZelmCompSetState"), 2u);
    EXPECT_EQ(Location(5)->publishFault, 1u);
    EXPECT_EQ(Location(6)->publishFault, 1u);
    EXPECT_EQ(SmoothTimer()->running, 1u);
    EXPECT_EQ(STANDIN_AgentCompFind(five, 5, 1), nullptr);
}

TEST_F(CompPublishTest, SmoothingLeavesOutComponentsWhoseTypeIsMissing)
{
    ASSERT_EQ(AddType(10), 0u);
    ASSERT_EQ(AddComp(5, 3, 10), 0u);
    ASSERT_EQ(AddComp(5, 2, 11), 0u);
    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    Announce(5);
    Settle();

    const auto calls = CompCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->opType, ZELM_COMP_OP_SMOOTH);
    ASSERT_EQ(calls[0]->entryNum, 2u);
    EXPECT_EQ(calls[0]->compEntries[0].compInst, 1u);
    EXPECT_EQ(calls[0]->compEntries[1].compInst, 3u);
    EXPECT_TRUE(zt::HasLog("zelm comp, location(locIndex 5) componentTree has 3 component.", LORN_LEVEL_INFO));
    EXPECT_TRUE(zt::HasLog("zelm comp, location(locIndex 5) get compNode(compType 11) not ready.", LORN_LEVEL_INFO));
    EXPECT_TRUE(zt::HasLog("zelm comp, location(locIndex 5) try to publish smooth comp finished: batchNum 3, realNum 2.",
                           LORN_LEVEL_INFO, "ZelmCompTrySmoothComponent"));
}

TEST_F(CompPublishTest, TypesThreeAndTwoHundredSevenNeedNoCompNodeRecord)
{
    ASSERT_EQ(AddComp(5, 1, 3), 0u);
    ASSERT_EQ(AddComp(5, 2, 207), 0u);
    const QOF_ConnHandle agent = Announce(5);
    ASSERT_EQ(AddComp(5, 3, 3), 0u);
    Settle();

    const auto calls = CompCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0]->opType, ZELM_COMP_OP_SMOOTH);
    EXPECT_EQ(calls[0]->entryNum, 2u);
    EXPECT_EQ(calls[1]->opType, ZELM_COMP_OP_ADD);
    for (uint32_t inst = 1; inst <= 3; ++inst) {
        const STANDIN_CompEntry *held = STANDIN_AgentCompFind(agent, 5, inst);
        ASSERT_NE(held, nullptr) << inst;
        EXPECT_STREQ(held->compTypeName, "");
        EXPECT_STREQ(held->compFileName, "");
        EXPECT_STREQ(held->compExtName, "");
        EXPECT_EQ(held->nullTexts, 0u);
        EXPECT_EQ(held->compClass, 0u);
    }
    for (const zt::LogLine &line : zt::PlainLog()) {
        EXPECT_NE(line.func, "ZELM_COMP_GetCompNodeCfg") << line.body;
    }
}

TEST_F(CompPublishTest, MovedIndexForgetsTheLocationWithItsComponents)
{
    ASSERT_EQ(AddType(10), 0u);
    const uint32_t node = STANDIN_KormAddOsNode(0, 1, 0, 1);
    STANDIN_KormRaiseLocationStatus(node, "svc", 5, 1);
    STANDIN_RunDue();
    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    STANDIN_KormRaiseLocationStatus(node, "svc", 7, 1);
    STANDIN_RunDue();

    EXPECT_EQ(Location(5), nullptr);
    ASSERT_NE(Location(7), nullptr);
    EXPECT_TRUE(zt::HasLog("zelm destroy location locIndex 5", LORN_LEVEL_INFO, "ZelmCompTryDestroyLocation"));
    EXPECT_TRUE(zt::HasLog("zelm comp, sub location(locIndex 5) link, locIndex is change, del location tree.",
                           LORN_LEVEL_INFO, "ZelmCompSubLocationLink"));

    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    EXPECT_TRUE(zt::HasLog("zelm comp, publish comp not ok. location chanHdl is NULL. compInstName comp(1) locIndex 5",
                           LORN_LEVEL_INFO));
    EXPECT_EQ(Location(5)->chanHandle, 0u);
}

TEST_F(CompPublishTest, WithdrawalOfAnUnknownIndexChangesNothing)
{
    const size_t logs = zt::PlainLog().size();
    EXPECT_EQ(ZelmCompSubLocationLink(9, 0, Cb()), 0u);
    const auto lines = zt::PlainLog();
    ASSERT_EQ(lines.size(), logs + 2);
    EXPECT_EQ(lines[logs].body, "zelm comp, receive sub location(locIndex 9, chan 0) link.");
    EXPECT_EQ(lines[logs + 1].body, "zelm comp, sub location(locIndex 9) link, locIndex is change, del location tree.");
    EXPECT_EQ(ZEL_SET_Count(Cb()->locationTree), 0u);

    EXPECT_EQ(ZelmCompSubLocationLink(9, 1, nullptr), 0xFFFFFFFFu);
    EXPECT_TRUE(zt::HasLog("zelm comp, sub location(locIndex 9) link, usrdata is NULL.", LORN_LEVEL_ERROR));
}

TEST_F(CompPublishTest, CompletionForARemovedLocationChangesNothing)
{
    Announce(5);
    ASSERT_EQ(AddType(10), 0u);
    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    ZELM_ComponentDeleteByLoc(5);
    ASSERT_EQ(STANDIN_RpcPendingCount(), 2u);
    Settle();

    EXPECT_EQ(zt::CountLog("zelm comp, publish component cbk fail, publish update find location(locidx = 5) error",
                           "ZelmCompPublishUpdationDone"),
              2u);
    EXPECT_EQ(zt::CountLog("zelm comp, state switch : 0->1"), 0u);
    EXPECT_EQ(Location(5), nullptr);
    EXPECT_EQ(SmoothTimer()->running, 0u);
}

}  // namespace
