// The LOCATION module where the model does not reach: failures on its way to the agents, odd inputs, its log lines.
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

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
    uint32_t node_ = 0;
};

// A store that cannot be made fails its atom; a request that cannot be built is not sent; both are
// reported. A failed HA-role query reads as a role that forbids publishing, an agent the node-status
// service cannot find as none, and a timer that will not start leaves the flag set all the same.
TEST_F(LocationTest, WhatCannotBeStoredOrBuiltIsReportedAndNothingIsSent)
{
    const QOF_ConnHandle agent = STANDIN_KormServerHandle(node_);
    const auto stored = [](uint32_t locIndex) {
        const locationInst *inst = ZelmTryFindLocationInst(zt::LocCb(), locIndex);
        return inst == nullptr ? std::string("not stored") : inst->publishState != 0 ? "state not 0" : "";
    };
    const auto addLoc = [this](uint32_t locIndex) {
        return [this, locIndex] { return zt::Loc(0, zt::LocCfg(locIndex, node_)); };
    };
    const auto linkUp = [this](uint32_t node) {
        return [this, node] {
            Link(node);
            return 0u;
        };
    };
    const auto linkNewNode = [&] { return linkUp(STANDIN_KormAddOsNode(1, 2, 0, 1))(); };
    const auto addGroup = [] { return zt::Grp(0, zt::GrpCfg(1, 7)); };
    const char *publish = "ZelmLocPublishLocationInst";
    const char *tryPublish = "ZelmTryPublishLocationInst";
    const char *smooth = "ZelmLocTrySmoothOsnodeInst";
    const std::vector<zt::FaultCase> cases = {
        {"QOF_TimerStart",
         1,
         [&] {
             zt::Answer(agent, zt::AgentMode::Refuse, 3);
             const uint32_t code = zt::Loc(0, zt::LocCfg(7, node_));
             zt::Answer(agent, zt::AgentMode::Accept);
             return code;
         },
         0,
         {"ZelmLocationSendMsgReliably", tryPublish},
         1,
         [&](size_t) {
             const bool flagged = ZelmLocTryFindOsNode(zt::LocCb(), node_)->publishFault != 0;
             return flagged && !zt::TimerRunning("ZelmLocSmooth") ? "" : "flag not set, or the timer runs";
         }},
        {"MIRL_GetCompHaRole",
         1,
         addLoc(6),
         0,
         {},
         0,
         [&](size_t from) {
             for (const zt::LogLine &line : zt::Log(from)) {  // the atom and its store write; the publication is silent
                 if (line.func != "ZelmProTuvCfgAtom" && line.func != "ZelmProcCreateLocation") {
                     return line.func + " wrote a line";
                 }
             }
             return stored(6);
         }},
        {"STANDIN_HostMalloc", 1, addLoc(1), ZELM_ERR, {"ZelmProcCreateLocation"}},
        {"STANDIN_HostMalloc", 1, addGroup, ZELM_ERR, {"ZelmProcTuvCreateLogicLocGrp"}},
        // the request's list; the texts of its entry
        {"STANDIN_HostMalloc", 2, addLoc(2), 0, {publish, tryPublish}},
        {"strdup", 2, addLoc(3), 0, {"ZelmSetZelLocationInstMsg", publish, tryPublish}},
        {"strdup", 3, addLoc(4), 0, {"ZelmSetZelLocationInstMsg"}},
        // the smoothing buffer; its list; a new OS node
        {"STANDIN_HostMalloc", 1, linkUp(node_), 0, {smooth}},
        {"STANDIN_HostMalloc", 2, linkUp(node_), 0, {smooth}},
        {"STANDIN_HostMalloc", 1, linkNewNode, 0, {"ZelmLocSubOsNodeLink"}},
        {"KORM_FindKorbCb",
         1,
         linkUp(node_),
         0,
         {{smooth, LORN_LEVEL_INFO, "chanHandle is NULL."}},
         0,
         [&](size_t) { return ZelmLocTryFindOsNode(zt::LocCb(), node_)->chanHandle == 0 ? "" : "a channel"; }},
    };
    Link(node_);
    zt::ExpectFaultTable(STANDIN_RPC_LOC, cases);
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

TEST_F(LocationTest, LogLines)
{
    const uint32_t bare = STANDIN_KormAddOsNode(1, 3, 0, 0);
    const uint32_t position[3] = {1, 2, 3};  // chassis, slot, cpu
    const QOF_ConnHandle agent = STANDIN_KormServerHandle(node_);
    uint32_t five = 5;
    const uint32_t I = LORN_LEVEL_INFO;
    const uint32_t E = LORN_LEVEL_ERROR;
    const auto add = [&](uint32_t id, const char *image = "a.service") {
        zt::Loc(0, zt::LocCfg(id, node_, "n", image));
    };
    const auto del = [&](uint32_t id, const char *image = "a.service") {
        zt::Loc(2, zt::LocCfg(id, node_, "n", image));
    };
    zt::ExpectLogTable({
        {[&] { Link(node_); }, I, "ZelmLocSubOsNodeLink", "sub osid 0x101(chassis 1,slot 1, cpu 0, ab 1)."},
        {[&] { Link(node_); }, I, "ZelmLocTrySmoothOsnodeInst", "locationInstTree has no instance."},
        {[&] { Link(node_); }, I, "ZelmLocSubOsNodeLink", "sub osNodeId(0x101) link ok."},
        {[&] { add(1); }, I, "ZelmProcCreateLocation", "Try Create location, OsInst(0x101) LocId(1)"},
        {[&] { add(1); }, I, "ZelmProcCreateLocation", "(locIndex:1,osnode:257) n create success."},
        {[&] { add(1); }, I, "ZelmTryPublishLocationInst", "finished."},
        {[&] { add(1); }, I, "ZelmLocationSendMsgReliably", "(id 257) ok."},
        {[&] { add(1); }, I, "ZelmLocPublishLocationInst", "korb success."},
        {[&] { zt::Settle(); }, I, "ZelmLocPublishLocationInstCbk", "success:1 errno:0"},
        {[&] { zt::Loc(0, zt::LocCfg(2, bare)); }, I, "ZelmTryPublishLocationInst", "not ok.locName"},
        {[&] { Link(bare); }, I, "ZelmLocTrySmoothOsnodeInst", "chanHandle is NULL."},
        {[&] { Link(STANDIN_KormAddOsNode(1, 4, 0, 1)); }, I, "ZelmLocTrySmoothOsnodeInst", "has no location data."},
        {[&] { Link(node_); }, I, "ZelmLocTrySmoothSetLocationInst", "locIndex 1, locType 0."},
        {[&] { Link(node_); }, I, "ZelmLocTrySmoothOsnodeInst", "batchNum 2, realNum 1."},
        {[&] { add(3, "app.bin"); }, I, "ZelmProcTuvCreateLocation", "Ignore location create (id:3)"},
        {[&] { del(1, "app.bin"); }, I, "ZelmProcTuvDeleteLocation", "Ignore location delete (id:1)"},
        {[&] { del(9); }, I, "ZelmProcDeleteLocation", "not find inst"},
        {[&] { zt::Grp(0, zt::GrpCfg(1, 7, 2)); }, I, "ZelmProcTuvCreateLogicLocGrp", "(1) logicId(7) faultPolicy(2)"},
        {[&] { zt::Grp(0, zt::GrpCfg(1, 7)); }, I, "ZelmProcTuvCreateLogicLocGrp", "ok. logicId 7, logindex 1"},
        {[&] { zt::Grp(2, zt::GrpCfg(1, 8, 3)); }, I, "ZelmProcTuvDeleteLogicLocGrp", "(1) logicId(8) faultPolicy(3)"},
        {[&] {
             zt::Grp(0, zt::GrpCfg(1, 7));
             zt::Grp(2, zt::GrpCfg(1, 8));
         },
         I, "ZelmProcTuvDeleteLogicLocGrp", "ok. logicId 8, logindex 1"},
        {[&] { zt::Grp(2, zt::GrpCfg(4, 8)); }, I, "ZelmProcTuvDeleteLogicLocGrp", "not find inst"},
        {[&] {
             zt::Settle();
             del(1);
         },
         I, "ZelmProcDeleteLocation", "Try delete location, OsInst(0x101) LocId(1)"},
        {[&] {
             add(1);
             zt::Settle();
             del(1);
         },
         I, "ZelmProcDeleteLocation", "(locIndex:1,osnode:257) n delete"},
        {[&] {
             zt::Answer(agent, zt::AgentMode::Refuse, 3);
             add(5);
         },
         E, "ZelmLocationSendMsgReliably", "ret = 3"},
        {[&] { add(5); }, E, "ZelmTryPublishLocationInst", "not ok."},
        {[&] { add(5); }, I, "ZelmLocPublishLocationInst", "korb failed."},
        {[&] {
             zt::Answer(agent, zt::AgentMode::NoReply);
             add(5);
             zt::Settle();
         },
         E, "ZelmLocPublishLocationInstCbk", "outMsg is null"},
        {[&] {
             add(5);
             Link(node_, false);
             zt::Settle();
         },
         E, "ZelmLocationPublishUpdationDone", "(osNodeId = 257, osInstance = 257)"},
        {[&] { Link(node_, false); }, I, "ZelmLocSubOsNodeLink", "link, del osnode tree."},
        {[&] {
             ZelmLocPublishLocationInstCbk(QOF_RpcResult{0, 7}, nullptr, &five, zt::LocCb());
         },
         E, "ZelmLocPublishLocationInstCbk", "inmsg is null, success:0 errno:7"},
        {[&] { ZelmLocSubOsNodeLink(0x30102, position, 1, nullptr); }, E, "ZelmLocSubOsNodeLink", "196866) link"},
    });
    EXPECT_EQ(ZelmLocTryFindOsNode(zt::LocCb(), 196866), nullptr);
}

}  // namespace
