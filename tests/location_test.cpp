// The LOCATION module where the model does not reach: failures on its way to the agents, odd inputs, its log lines.
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

constexpr uint32_t kErr = 0xFFFFFFFFu;

class LocationTest : public ZelmTest {
protected:
    void SetUp() override
    {
        ZelmTest::SetUp();
        node_ = STANDIN_KormAddOsNode(1, 1, 0, 1);
    }
    static void Link(uint32_t node, bool up = true)
    {
        ASSERT_EQ(STANDIN_KormRaiseOsNodeLink(node, up ? 1 : 0), 0);
        STANDIN_RunDue();
    }
    static size_t Sent() { return zt::Calls(STANDIN_RPC_LOC).size(); }
    uint32_t node_ = 0;
};

// A store that cannot be made fails its atom; a request that cannot be built is not sent; both are reported.
TEST_F(LocationTest, WhatCannotBeStoredOrBuiltIsReportedAndNothingIsSent)
{
    struct Case {
        const char *point;
        uint64_t nth;
        std::function<uint32_t()> act;  // returns the atom's code
        uint32_t code;
        std::vector<const char *> reporters;
    };
    const std::vector<Case> cases = {
        {"STANDIN_HostMalloc", 1, [&] { return zt::Loc(0, zt::LocCfg(1, node_)); }, kErr, {"ZelmProcCreateLocation"}},
        {"STANDIN_HostMalloc", 1, [&] { return zt::Grp(0, zt::GrpCfg(1, 7)); }, kErr, {"ZelmProcTuvCreateLogicLocGrp"}},
        {"STANDIN_HostMalloc", 2, [&] { return zt::Loc(0, zt::LocCfg(2, node_)); }, 0,
         {"ZelmLocPublishLocationInst", "ZelmTryPublishLocationInst"}},  // the request's list
        {"strdup", 2, [&] { return zt::Loc(0, zt::LocCfg(3, node_)); }, 0,
         {"ZelmSetZelLocationInstMsg", "ZelmLocPublishLocationInst", "ZelmTryPublishLocationInst"}},
        {"strdup", 3, [&] { return zt::Loc(0, zt::LocCfg(4, node_)); }, 0, {"ZelmSetZelLocationInstMsg"}},
        {"STANDIN_HostMalloc", 1, [&] { Link(node_); return 0u; }, 0, {"ZelmLocTrySmoothOsnodeInst"}},  // buffer
        {"STANDIN_HostMalloc", 2, [&] { Link(node_); return 0u; }, 0, {"ZelmLocTrySmoothOsnodeInst"}},  // its list
        {"STANDIN_HostMalloc", 1, [&] { Link(STANDIN_KormAddOsNode(1, 2, 0, 1)); return 0u; }, 0,
         {"ZelmLocSubOsNodeLink"}},
    };
    Link(node_);
    for (const Case &c : cases) {
        const size_t sent = Sent();
        const size_t from = STANDIN_LogCount();
        ASSERT_EQ(STANDIN_FailCall(c.point, c.nth, 0), 0);
        EXPECT_EQ(c.act(), c.code) << c.reporters[0];
        STANDIN_FailClear(nullptr);
        EXPECT_EQ(Sent(), sent) << c.reporters[0];
        for (const char *func : c.reporters) {
            EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, func, "", from)) << func;
        }
    }
    EXPECT_EQ(ZelmLocTryFindOsNode(zt::LocCb(), STANDIN_OsNodeId(1, 2, 0)), nullptr);
    EXPECT_EQ(ZelmTryFindLocationInst(zt::LocCb(), 1), nullptr);
    EXPECT_NE(ZelmTryFindLocationInst(zt::LocCb(), 4), nullptr) << "stored although its publication failed";
}

TEST_F(LocationTest, ImageFilterLooksOnlyWithinTheImageField)
{
    ZelmLocInstCfg cfg = zt::LocCfg(1, node_, "loc", "");
    zt::SetText(cfg.imageName, std::string(32, 'i'));  // no NUL: the text runs on into LocExtName
    zt::SetText(cfg.LocExtName, ".service");
    EXPECT_EQ(zt::Loc(0, cfg), 0u);
    EXPECT_EQ(ZelmTryFindLocationInst(zt::LocCb(), 1), nullptr);
}

TEST_F(LocationTest, NodeOfFiveHundredLocationsIsSmoothedInOneRequestInAscendingOrder)
{
    // Slot 300 carries into the chassis byte: the node is (1 << 8) + 300.
    const uint32_t big = STANDIN_KormAddOsNode(1, 300, 0, 1);
    ASSERT_EQ(big, (1u << 8) + 300);
    for (uint32_t i = 500; i > 0; --i) {
        ASSERT_EQ(zt::Loc(0, zt::LocCfg(i * 7, big)), 0u);
    }
    Link(big);
    const auto calls = zt::Calls(STANDIN_RPC_LOC);
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0]->entryNum, 500u);
    EXPECT_EQ(calls[0]->opType, ZELM_LOC_OP_SMOOTH);
    for (uint32_t i = 0; i < 500; ++i) {
        EXPECT_EQ(calls[0]->locEntries[i].LocId, (i + 1) * 7);
    }
}

TEST_F(LocationTest, LogLines)
{
    const uint32_t bare = STANDIN_KormAddOsNode(1, 3, 0, 0);
    const uint32_t position[3] = {1, 2, 3};  // chassis, slot, cpu
    const QOF_ConnHandle agent = STANDIN_KormServerHandle(node_);
    uint32_t five = 5;
    zt::ExpectLogTable({
        {[&] { Link(node_); }, LORN_LEVEL_INFO, "ZelmLocSubOsNodeLink", "sub osid 0x101(chassis 1,slot 1, cpu 0, ab 1)."},
        {[&] { Link(node_); }, LORN_LEVEL_INFO, "ZelmLocTrySmoothOsnodeInst", "locationInstTree has no instance."},
        {[&] { Link(node_); }, LORN_LEVEL_INFO, "ZelmLocSubOsNodeLink", "sub osNodeId(0x101) link ok."},
        {[&] { zt::Loc(0, zt::LocCfg(1, node_, "one")); }, LORN_LEVEL_INFO, "ZelmProcCreateLocation",
         "Try Create location, OsInst(0x101) LocId(1)"},
        {[&] { zt::Loc(0, zt::LocCfg(1, node_, "one")); }, LORN_LEVEL_INFO, "ZelmProcCreateLocation",
         "(locIndex:1,osnode:257) one create success."},
        {[&] { zt::Loc(0, zt::LocCfg(1, node_)); }, LORN_LEVEL_INFO, "ZelmTryPublishLocationInst", "finished."},
        {[&] { zt::Loc(0, zt::LocCfg(1, node_)); }, LORN_LEVEL_INFO, "ZelmLocationSendMsgReliably", "(id 257) ok."},
        {[&] { zt::Loc(0, zt::LocCfg(1, node_)); }, LORN_LEVEL_INFO, "ZelmLocPublishLocationInst", "korb success."},
        {[&] { zt::Settle(); }, LORN_LEVEL_INFO, "ZelmLocPublishLocationInstCbk", "success:1 errno:0"},
        {[&] { zt::Loc(0, zt::LocCfg(2, bare)); }, LORN_LEVEL_INFO, "ZelmTryPublishLocationInst", "not ok.locName"},
        {[&] { Link(bare); }, LORN_LEVEL_INFO, "ZelmLocTrySmoothOsnodeInst", "chanHandle is NULL."},
        {[&] { Link(STANDIN_KormAddOsNode(1, 4, 0, 1)); }, LORN_LEVEL_INFO, "ZelmLocTrySmoothOsnodeInst",
         "has no location data."},
        {[&] { Link(node_); }, LORN_LEVEL_INFO, "ZelmLocTrySmoothSetLocationInst", "locIndex 1, locType 0."},
        {[&] { Link(node_); }, LORN_LEVEL_INFO, "ZelmLocTrySmoothOsnodeInst", "batchNum 2, realNum 1."},
        {[&] { zt::Loc(0, zt::LocCfg(3, node_, "f", "app.bin")); }, LORN_LEVEL_INFO, "ZelmProcTuvCreateLocation",
         "Ignore location create (id:3)"},
        {[&] { zt::Loc(2, zt::LocCfg(1, node_, "f", "app.bin")); }, LORN_LEVEL_INFO, "ZelmProcTuvDeleteLocation",
         "Ignore location delete (id:1)"},
        {[&] { zt::Loc(2, zt::LocCfg(9, node_)); }, LORN_LEVEL_INFO, "ZelmProcDeleteLocation", "not find inst"},
        {[&] { zt::Grp(0, zt::GrpCfg(1, 7, 2)); }, LORN_LEVEL_INFO, "ZelmProcTuvCreateLogicLocGrp",
         "locIndex(1) logicId(7) faultPolicy(2)"},
        {[&] { zt::Grp(0, zt::GrpCfg(1, 7)); }, LORN_LEVEL_INFO, "ZelmProcTuvCreateLogicLocGrp",
         "create logic group ok. logicId 7, logindex 1"},
        {[&] { zt::Grp(2, zt::GrpCfg(1, 8, 3)); }, LORN_LEVEL_INFO, "ZelmProcTuvDeleteLogicLocGrp",
         "locIndex(1) logicId(8) faultPolicy(3)"},
        {[&] { zt::Grp(0, zt::GrpCfg(1, 7)); zt::Grp(2, zt::GrpCfg(1, 8)); }, LORN_LEVEL_INFO,
         "ZelmProcTuvDeleteLogicLocGrp", "delete logic group ok. logicId 8, logindex 1"},
        {[&] { zt::Grp(2, zt::GrpCfg(4, 8)); }, LORN_LEVEL_INFO, "ZelmProcTuvDeleteLogicLocGrp", "not find inst"},
        {[&] { zt::Settle(); zt::Loc(2, zt::LocCfg(1, node_, "one")); }, LORN_LEVEL_INFO, "ZelmProcDeleteLocation",
         "Try delete location, OsInst(0x101) LocId(1)"},
        {[&] { zt::Loc(0, zt::LocCfg(1, node_)); zt::Settle(); zt::Loc(2, zt::LocCfg(1, node_, "one")); },
         LORN_LEVEL_INFO, "ZelmProcDeleteLocation", "(locIndex:1,osnode:257) one delete success."},
        {[&] { zt::Answer(agent, zt::AgentMode::Refuse, 3); zt::Loc(0, zt::LocCfg(5, node_)); },
         LORN_LEVEL_ERROR, "ZelmLocationSendMsgReliably", "(id 257) not ok, ret = 3"},
        {[&] { zt::Loc(0, zt::LocCfg(5, node_)); }, LORN_LEVEL_ERROR, "ZelmTryPublishLocationInst", "not ok."},
        {[&] { zt::Loc(0, zt::LocCfg(5, node_)); }, LORN_LEVEL_INFO, "ZelmLocPublishLocationInst", "korb failed."},
        {[&] { zt::Answer(agent, zt::AgentMode::NoReply); zt::Loc(0, zt::LocCfg(5, node_)); zt::Settle(); },
         LORN_LEVEL_ERROR, "ZelmLocPublishLocationInstCbk", "outMsg is null"},
        {[&] { zt::Loc(0, zt::LocCfg(5, node_)); Link(node_, false); zt::Settle(); }, LORN_LEVEL_ERROR,
         "ZelmLocationPublishUpdationDone", "find osNodeInst(osNodeId = 257, osInstance = 257)"},
        {[&] { Link(node_, false); }, LORN_LEVEL_INFO, "ZelmLocSubOsNodeLink", "link, del osnode tree."},
        {[&] { ZelmLocPublishLocationInstCbk(QOF_RpcResult{0, 7}, nullptr, &five, zt::LocCb()); }, LORN_LEVEL_ERROR,
         "ZelmLocPublishLocationInstCbk", "inmsg is null, success:0 errno:7"},
        {[&] { ZelmLocSubOsNodeLink(0x30102, position, 1, nullptr); }, LORN_LEVEL_ERROR, "ZelmLocSubOsNodeLink",
         "osNodeId 196866) link, usrdata is NULL."},
    });
    EXPECT_EQ(ZelmLocTryFindOsNode(zt::LocCb(), 196866), nullptr);
}

}  // namespace
