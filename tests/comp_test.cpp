// The COMP module where the model does not reach: failures on its way to the agents, direct entries, its log lines.
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

class CompTest : public ZelmTest {
protected:
    static ZelmCompLocation *Location(uint32_t locIndex)
    {
        return static_cast<ZelmCompLocation *>(ZEL_SET_Find(zt::CompCb()->locationTree, &locIndex, 4));
    }
};

// A store that cannot be made fails its atom; a request that cannot be built is not sent; both are reported.
TEST_F(CompTest, WhatCannotBeStoredOrBuiltIsReportedAndNothingIsSent)
{
    const auto addComp = [](uint32_t locIndex, uint32_t inst) { return zt::Comp(0, zt::CompCfg(locIndex, inst, 5)); };
    const auto announce = [](uint32_t locIndex) {
        return [locIndex] { return zt::Announce(locIndex) != 0 ? 0u : 1u; };
    };
    const char *add = "ZELM_COMP_AddComponentByInstCfg";
    const char *update = "ZELM_COMP_UpdateCompNodeByCfg";
    const char *publish[] = {"ZelmCompPublishComponent", "ZelmCompTryPublishComponent"};
    const std::vector<zt::FaultCase> cases = {
        {"STANDIN_HostMalloc", 1, [&] { return addComp(1, 1); }, ZELM_ERR, {add}},
        // the new location's component set
        {"STANDIN_HostMalloc", 2, [&] { return addComp(2, 1); }, ZELM_ERR, {"ZelmCompLocationTreeInit", add}},
        {"STANDIN_HostMalloc", 3, [&] { return addComp(3, 1); }, ZELM_ERR, {add}},
        {"STANDIN_HostMalloc", 1, [] { return zt::Type(0, zt::CompNodeCfg(6)); }, ZELM_ERR, {update}},
        // after the link entry; then the request's list; a text copy; the smoothing buffer
        {"STANDIN_HostMalloc", 2, announce(4), 0, {"ZelmCompSubLocationLink"}},
        {"STANDIN_HostMalloc", 2, [&] { return addComp(5, 2); }, 0, {publish[0], publish[1]}},
        {"strdup", 4, [&] { return addComp(5, 3); }, 0, {"ZelmSetZelComponentMsg", publish[0], publish[1]}},
        {"STANDIN_HostMalloc", 1, announce(5), 0, {"ZelmCompTrySmoothComponent"}},
        // A stored record is copied over without a key copy first: the first copy is the record's.
        {"memcpy_s", 1, [] { return zt::Comp(0, zt::CompCfg(8, 1, 8)); }, ZELM_ERR, {}},
        {"memcpy_s", 1, [] { return zt::Type(0, zt::CompNodeCfg(8)); }, ZELM_ERR, {update}},
        // A timer that does not start leaves the location flagged all the same.
        {"QOF_TimerStart",
         1,
         [&] {
             zt::Answer(STANDIN_KormServerHandle(STANDIN_OsNodeId(0, 1, 0)), zt::AgentMode::Refuse, 3);
             return addComp(5, 4);
         },
         0,
         {"ZelmCompSendMsgReliably", publish[1]},
         1,
         [&](size_t) {
             return Location(5)->publishFault != 0 && !zt::TimerRunning("ZelmCompSmooth") ? "" : "not flagged, or runs";
         }},
    };
    ASSERT_EQ(zt::Type(0, zt::CompNodeCfg(5)), 0u);
    ASSERT_EQ(zt::Type(0, zt::CompNodeCfg(8)), 0u);
    ASSERT_EQ(zt::Comp(0, zt::CompCfg(8, 1, 8)), 0u);
    ASSERT_EQ(addComp(5, 1), 0u);
    zt::Announce(5);
    zt::Settle();
    zt::ExpectFaultTable(STANDIN_RPC_COMP, cases);
    EXPECT_EQ(Location(1), nullptr);
    EXPECT_EQ(ZEL_SET_Count(Location(3)->componentTree), 0u) << "the location made for it stays, empty";
    EXPECT_EQ(Location(4), nullptr);
}

TEST_F(CompTest, SmoothingLeavesOutAComponentWhoseCopyIsRefused)
{
    ASSERT_EQ(zt::Comp(0, zt::CompCfg(4, 1, 3)), 0u);
    ASSERT_EQ(zt::Comp(0, zt::CompCfg(4, 2, 207)), 0u);
    zt::Announce(4);
    ASSERT_EQ(STANDIN_FailCall("memcpy_s", 1, 0), 0);  // announced again, every record known: the first component
    zt::Announce(4);
    const auto calls = zt::Calls(STANDIN_RPC_COMP, 1);
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0]->entryNum, 1u);
    EXPECT_EQ(calls[0]->compEntries[0].compInst, 2u);
    EXPECT_FALSE(zt::Logged(LORN_LEVEL_INFO, "ZELM_COMP_GetCompNodeCfg")) << "types 3 and 207 need no lookup";
}

TEST_F(CompTest, EntriesWithoutTheirDataOrWhoseLocationCannotBeAddedAreRefused)
{
    ZelCompPublishReqMsg req{9, 0, 0, 0, nullptr};
    EXPECT_EQ(ZelmCompSendMsgReliably(zt::CompCb(), nullptr, &req), ZELM_ERR);
    EXPECT_EQ(ZelmCompSmoothTimerCbk(nullptr, nullptr, zt::CompCb()), 0u);
    EXPECT_EQ(ZelmLocSmoothTimerCbk(nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(ZelmCompSubLocationLink(9, 1, nullptr), ZELM_ERR);
    ASSERT_EQ(STANDIN_FailCall("STANDIN_HostMalloc", 1, 0), 0);
    EXPECT_EQ(ZelmCompSubLocationLink(9, 1, zt::CompCb()), ZELM_ERR);
    EXPECT_EQ(Location(9), nullptr);
    EXPECT_EQ(ZelmCompSubLocationLink(9, 0, zt::CompCb()), 0u);
}

// Exported for hosts, unused by the library itself: the texts alone, and their release.
TEST_F(CompTest, MessageTextsAreMadeAloneAndReleasedOnlyOnce)
{
    const ZelmCompInstCfg comp = zt::CompCfg(5, 1, 10, "inst");
    const ZelmCompNodeCfg type = zt::CompNodeCfg(10, "typename");
    ZelComponentMsg entry{};
    ASSERT_EQ(ZelmSetZelCompNameMsg(&comp, &type, &entry), 0u);
    EXPECT_STREQ(entry.compTypeName, "typename");
    EXPECT_STREQ(entry.compFileName, "comp.bin");
    EXPECT_STREQ(entry.compExtName, "ext");
    EXPECT_STREQ(entry.compInstName, "inst");
    EXPECT_EQ(entry.compInst, 0u) << "texts only";
    ZelmFreeZelComponentMsg(&entry);
    ZelmFreeZelComponentMsg(&entry);
    EXPECT_EQ(entry.compInstName, nullptr);
    ASSERT_EQ(STANDIN_FailCall("strdup", 3, 0), 0);
    EXPECT_EQ(ZelmSetZelCompNameMsg(&comp, &type, &entry), ZELM_ERR);
    EXPECT_NE(entry.compExtName, nullptr) << "the texts made so far stay for the caller";
    ZelmFreeZelComponentMsg(&entry);
}

TEST_F(CompTest, LogLines)
{
    QOF_ConnHandle agent = 0;
    uint32_t five = 5;
    const uint32_t I = LORN_LEVEL_INFO;
    const uint32_t E = LORN_LEVEL_ERROR;
    const auto add = [](uint32_t locIndex, uint32_t inst, uint32_t type, const char *name) {
        zt::Comp(0, zt::CompCfg(locIndex, inst, type, name));
    };
    const auto type = [](uint16_t op, uint32_t compClass) { zt::Type(op, zt::CompNodeCfg(10, "t", compClass)); };
    zt::ExpectLogTable({
        {[&] { ZelmCompSubLocationLink(9, 1, nullptr); }, E, "ZelmCompSubLocationLink", "usrdata is NULL."},
        {[&] { type(0, 1); }, I, "ZELM_COMP_SetCompNodeCfg", "compType 10 is success."},
        {[&] { type(0, 1); }, I, "ZELM_COMP_UpdateCompNodeByCfg", "cfg ok. compType (10) compTypeName (t)"},
        {[&] { type(0, 0); }, I, "ZELM_COMP_UpdateCompNodeByCfg", "ignore. compType (10) compTypeName (t) compClass"},
        {[&] { type(2, 0); }, I, "ZELM_COMP_DelCompNodeByCfg", "ignore. compType (10) compTypeName (t) compClass"},
        {[&] { zt::Comp(0, zt::CompCfg(6, 1, 10, "c", 0)); }, I, "ZELM_ComponentProc", "c(1) locIndex 6 cfgStatus 0"},
        {[&] { add(6, 1, 10, "c"); }, I, "ZelmCompTryPublishComponent", "chanHdl is NULL. compInstName c(1)"},
        {[&] { add(6, 1, 10, "c"); }, I, "ZELM_COMP_AddComponentByInstCfg", "location ok. compInstName c(1)"},
        {[&] { zt::Comp(2, zt::CompCfg(7, 1, 10, "c")); }, I, "ZELM_COMP_DelComponentByInstCfg", "location. comp"},
        {[&] { zt::Comp(2, zt::CompCfg(6, 2, 10, "d")); }, I, "ZELM_COMP_DelComponentByInstCfg", "component. comp"},
        {[&] { agent = zt::Announce(5); }, I, "ZelmCompTrySmoothComponent", "has no comp."},
        {[&] { zt::Announce(5); }, I, "ZelmCompSubLocationLink", "sub location(locIndex 5) link ok."},
        {[&] { zt::Announce(5); }, I, "ZelmCompSubLocationLink", "receive sub location(locIndex 5, chan"},
        {[&] { add(5, 1, 11, "e"); }, I, "ZelmCompTryPublishComponent", "compType 11 compInst e(1) locIndex 5"},
        {[&] { add(5, 1, 11, "e"); }, I, "ZELM_COMP_GetCompNodeCfg", "compType 11 is failed."},
        {[&] { add(5, 2, 10, "f"); }, I, "ZelmCompSendMsgReliably", "location(locIndex 5) ok."},
        {[&] { add(5, 2, 10, "f"); }, I, "ZelmCompTryPublishComponent", "finished.compInstName f(2) locIndex 5"},
        {[&] { zt::Settle(); }, I, "ZelmCompPublishComponentCbk", "success:1 errno:0"},
        {[&] {
             add(5, 2, 10, "f");
             zt::Settle();
         },
         I, "ZelmCompSetState", "state switch : 0->1"},
        {[&] { zt::Announce(5); }, I, "ZelmCompTrySmoothComponent", "has 2 component."},
        {[&] { zt::Announce(5); }, I, "ZelmCompTrySmoothComponent", "(compType 11) not ready."},
        {[&] { zt::Announce(5); }, I, "ZelmCompTrySmoothComponent", "batchNum 2, realNum 1."},
        {[&] {
             zt::Settle();
             type(0, 1);
         },
         I, "ZELM_COMP_CompPublishByCompType", "5, cid 2, compInstName f, compType 10"},
        {[&] { type(0, 1); }, I, "ZELM_COMP_CompNodePublish", "opType 0. location 6 is Not register."},
        {[&] {
             zt::Settle();
             zt::Answer(agent, zt::AgentMode::Refuse, 3);
             add(5, 3, 10, "g");
         },
         E, "ZelmCompSendMsgReliably", "location(locIndex 5) fail, ret = 3"},
        {[&] { add(5, 3, 10, "g"); }, E, "ZelmCompTryPublishComponent", "not ok.compInstName g(3) locIndex 5"},
        {[&] { add(5, 3, 10, "g"); }, I, "ZelmCompPublishComponent", "sdk failed."},
        {[&] {
             zt::Answer(agent, zt::AgentMode::Accept);
             zt::Tick();
         },
         I, "ZelmCompSmoothTimerCbk", "locIndex 5"},
        {[&] {
             zt::Answer(agent, zt::AgentMode::NoReply);
             add(5, 3, 10, "g");
             zt::Settle();
         },
         E, "ZelmCompPublishComponentCbk", "outMsg is null, success:1 errno:0"},
        {[&] {
             zt::Answer(agent, zt::AgentMode::Fail);
             add(5, 3, 10, "g");
             zt::Settle();
         },
         I, "ZelmCompSetState", "0->2"},
        {[&] {
             zt::Answer(agent, zt::AgentMode::Accept);
             add(5, 3, 10, "g");
             ZELM_ComponentDeleteByLoc(5);
             zt::Settle();
         },
         E, "ZelmCompPublishUpdationDone", "find location(locidx = 5) error"},
        {[&] { ZELM_ComponentDeleteByLoc(6); }, I, "ZelmCompTrySmoothComponent", "(locIndex 6) chanHandle is NULL."},
        {[&] {
             add(6, 1, 10, "c");
             ZELM_ComponentDeleteByLoc(6);
         },
         I, "ZelmCompTryDestroyLocation", "locIndex 6"},
        {[&] { ZELM_ComponentDeleteByLoc(6); }, I, "ZELM_ComponentDeleteByLoc", "locIndex 6 finished."},
        {[&] {
             ZelmCompPublishComponentCbk(QOF_RpcResult{0, 7}, nullptr, &five, zt::CompCb());
         },
         E, "ZelmCompPublishComponentCbk", "inmsg is null, success:0 errno:7"},
        {[&] { ZelmCompSubLocationLink(9, 0, zt::CompCb()); }, I, "ZelmCompSubLocationLink",
         "(locIndex 9) link, locIndex"},
    });
}

}  // namespace
