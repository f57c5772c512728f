// What the subsystem tests leave out: null arguments of exported operations, entries that arrive
// without their data, hooks given the wrong size, and platform copies and registrations that fail.
//
// The bounded copy memcpy_s is interposed here: the test executable's definition takes the place of
// the platform's for libzelm.so, so that one copy of a given destination size can be refused, the
// way the platform refuses one (non-zero, destination zero-filled).
#include <dlfcn.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

size_t g_failCopyOfSize = 0;

// Makes the next memcpy_s whose destination holds `destSize` bytes fail, once.
void FailNextCopyOfSize(size_t destSize) { g_failCopyOfSize = destSize; }

using MemcpySFn = int (*)(void *, size_t, const void *, size_t);

}  // namespace

extern "C" int memcpy_s(void *dest, size_t destsz, const void *src, size_t count)
{
    static const auto real = reinterpret_cast<MemcpySFn>(dlsym(RTLD_NEXT, "memcpy_s"));
    if (g_failCopyOfSize != 0 && destsz == g_failCopyOfSize) {
        g_failCopyOfSize = 0;
        if (dest != nullptr) {
            std::memset(dest, 0, destsz);
        }
        return 1;
    }
    return real(dest, destsz, src, count);
}

namespace {

constexpr uint32_t kErr = 0xFFFFFFFFu;

// A started library; every case also checks that nothing was sent and no host block was added.
class CoverageGapsTest : public ZelmTest {
protected:
    void SetUp() override
    {
        ZelmTest::SetUp();
        blocks_ = STANDIN_HostLiveBlocks();
        FailNextCopyOfSize(0);
    }
    void ExpectNothingSentOrKept() const
    {
        EXPECT_EQ(STANDIN_RpcCallCount(), 0u);
        EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks_);
    }
    static ZelmCompCb *Comp() { return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP)); }
    static locationCb *Loc() { return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION)); }
    static ZelmLinkCb *Link() { return static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK)); }

    // Delivers one atom and returns the code its reply recorded.
    template <typename Rec>
    static uint32_t AtomCode(uint32_t classId, const Rec &rec)
    {
        const size_t before = STANDIN_ReplyCount();
        EXPECT_EQ(zt::Deliver(classId, ZELM_CFG_OP_ADD, rec), 0u);
        if (STANDIN_ReplyCount() != before + 1 || STANDIN_ReplyGet(before)->opInfoNum != 1) {
            ADD_FAILURE() << "no reply with one op-info area";
            return 0xDEADu;
        }
        return STANDIN_ReplyGet(before)->opInfos[0].code;
    }

    size_t blocks_ = 0;
};

// A library that is not started, on a reset stand-in.
class CoverageGapsStartTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        FailNextCopyOfSize(0);
    }
    void TearDown() override
    {
        STANDIN_RpcFailPending(1);
        ZELM_FInit();
        EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
        StandinTest::TearDown();
    }
};

// ---- null arguments ------------------------------------------------------------------------

TEST_F(CoverageGapsTest, ComponentOperationsRefuseNullArguments)
{
    ZelmCompCb *cb = Comp();
    const ZelmCompNodeCfg node = zt::CompNodeCfg(1, "type");
    const ZelmCompInstCfg comp = zt::CompCfg(1, 1, 1, "comp");
    ZelmCompNodeCfg out{};
    ZelmCompLocation location{};
    ZelmComponent component{};
    ZelComponentMsg msg{};
    const ZelmCompPublishList list = {nullptr, nullptr, 0, 0};
    ZelCompPublishReqMsg req = {1, 0, 3, 0, nullptr};

    EXPECT_EQ(ZELM_CompNodeProc(nullptr, ZELM_CFG_OP_ADD), kErr);
    EXPECT_EQ(ZELM_COMP_UpdateCompNodeByCfg(nullptr, &node), kErr);
    EXPECT_EQ(ZELM_COMP_UpdateCompNodeByCfg(cb, nullptr), kErr);
    EXPECT_EQ(ZELM_COMP_DelCompNodeByCfg(nullptr, &node), 0u);
    EXPECT_EQ(ZELM_COMP_DelCompNodeByCfg(cb, nullptr), 0u);
    ZELM_COMP_CompNodePublish(nullptr, 1, ZELM_COMP_OP_ADD);
    ZELM_COMP_CompPublishByCompType(cb, nullptr, 1, ZELM_COMP_OP_ADD);
    EXPECT_EQ(ZELM_ComponentProc(nullptr, ZELM_CFG_OP_ADD), kErr);
    EXPECT_EQ(ZELM_COMP_AddComponentByInstCfg(nullptr, &comp), kErr);
    EXPECT_EQ(ZELM_COMP_AddComponentByInstCfg(cb, nullptr), kErr);
    EXPECT_EQ(ZELM_COMP_DelComponentByInstCfg(nullptr, &comp), 0u);
    EXPECT_EQ(ZELM_COMP_DelComponentByInstCfg(cb, nullptr), 0u);

    EXPECT_EQ(ZELM_COMP_GetCompNodeCfg(cb, 1, nullptr), kErr);
    EXPECT_EQ(ZELM_COMP_GetCompNodeCfg(nullptr, 1, &out), kErr);
    EXPECT_EQ(ZELM_COMP_SetCompNodeCfg(nullptr, 1, &node), kErr);
    EXPECT_EQ(ZELM_COMP_SetCompNodeCfg(cb, 1, nullptr), kErr);
    ZelmCompSetState(nullptr, ZELM_COMP_STATE_PUBLISHED);
    EXPECT_EQ(ZelmCompTryAddLocation(nullptr, 1), nullptr);
    ZelmCompTryDestroyLocation(nullptr, 1);
    EXPECT_EQ(ZelmLocationTryAddComp(nullptr, 1), nullptr);

    EXPECT_EQ(ZelmSetZelComponentMsg(nullptr, &node, &msg), kErr);
    EXPECT_EQ(ZelmSetZelComponentMsg(&comp, nullptr, &msg), kErr);
    EXPECT_EQ(ZelmSetZelComponentMsg(&comp, &node, nullptr), kErr);
    EXPECT_EQ(ZelmSetZelCompNameMsg(nullptr, &node, &msg), kErr);
    EXPECT_EQ(ZelmSetZelCompNameMsg(&comp, nullptr, &msg), kErr);
    EXPECT_EQ(ZelmSetZelCompNameMsg(&comp, &node, nullptr), kErr);
    EXPECT_EQ(msg.compTypeName, nullptr);
    ZelmFreeZelComponentMsg(nullptr);
    ZelmCompDeepFreePublishReqMsg(&req);  // a request without list releases nothing

    ZelmCompTryPublishComponent(cb, nullptr, ZELM_COMP_OP_ADD, &component);
    ZelmCompTryPublishComponent(cb, &location, ZELM_COMP_OP_ADD, nullptr);
    EXPECT_EQ(ZelmCompPublishComponent(cb, nullptr, ZELM_COMP_OP_ADD, &list), kErr);
    EXPECT_EQ(ZelmCompPublishComponent(cb, &location, ZELM_COMP_OP_ADD, nullptr), kErr);
    EXPECT_EQ(ZelmCompSendMsgReliably(cb, nullptr, &req), kErr);
    EXPECT_EQ(ZelmCompSendMsgReliably(cb, &location, nullptr), kErr);
    ZelmCompPublishComponentCbk(QOF_RpcResult{1, 0}, &req, nullptr, nullptr);
    EXPECT_TRUE(
        zt::HasLog("zelm comp, publish component cbk ignored, control block is not current.", LORN_LEVEL_ERROR));
    ZelmCompPublishUpdationDone(nullptr, &req, 0);
    ZelmCompPublishUpdationDone(cb, nullptr, 0);
    ZelmCompPublishUpdationDone(cb, &req, 0);
    ZelCompPublishReqMsg noEntries = {1, 0, 0, 0, &msg};
    ZelmCompPublishUpdationDone(cb, &noEntries, 0);
    ZelmCompPublishFaultAccess(nullptr, &location);
    ZelmCompPublishFaultAccess(cb, nullptr);
    ZelmCompPublishFaultSloved(nullptr, &location);
    ZelmCompPublishFaultSloved(cb, nullptr);
    ZelmCompTrySmoothComponent(cb, nullptr, ZELM_COMP_OP_SMOOTH);
    EXPECT_EQ(ZelmCompSmoothTimerCbk(nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(ZelmCompInitSmoothTimer(nullptr), kErr);

    EXPECT_EQ(location.publishFault, 0u);
    EXPECT_EQ(STANDIN_TimerFind("ZelmCompSmooth")->running, 0u);
    ExpectNothingSentOrKept();
}

TEST_F(CoverageGapsTest, FrameAndConfigurationOperationsRefuseNullArguments)
{
    ZelmLocalData *data = ZELM_GetLocalData();
    // Opaque handles that must never be read: every call below returns before it would.
    auto *someMsg = reinterpret_cast<QOF_Msg *>(data);
    auto *someAtom = reinterpret_cast<QOF_Atom *>(data);
    QOF_Msg *noReply = nullptr;

    EXPECT_EQ(ZelmProcTuvTableMsg(nullptr, someMsg, nullptr), kErr);
    EXPECT_EQ(ZelmProcTuvTableMsg(data, nullptr, nullptr), kErr);
    EXPECT_EQ(ZelmProTuvCfgAtom(nullptr, someAtom, &noReply, data, nullptr), kErr);
    EXPECT_EQ(ZelmProTuvCfgAtom(someMsg, nullptr, &noReply, data, nullptr), kErr);
    EXPECT_EQ(ZelmProTuvCfgAtom(someMsg, someAtom, nullptr, data, nullptr), kErr);
    EXPECT_EQ(ZelmProTuvCfgAtom(someMsg, someAtom, &noReply, nullptr, nullptr), kErr);
    EXPECT_EQ(ZelmProcAddOpInfoArea(nullptr, someAtom, 0), kErr);
    EXPECT_EQ(ZelmProcAddOpInfoArea(&noReply, someAtom, 0), kErr);
    EXPECT_EQ(ZelmProcAddOpInfoArea(&someMsg, nullptr, 0), kErr);
    EXPECT_EQ(ZELM_RegisterMsgTable(nullptr), kErr);
    EXPECT_EQ(ZelmInitMods(nullptr), kErr);
    ZelmFInitMods(nullptr);

    EXPECT_EQ(STANDIN_ReplyCount(), 0u);
    EXPECT_EQ(STANDIN_MsgAliveCount(), 0u);
    EXPECT_EQ(zt::CountLog("zelm Finit ok"), 0u);
    ExpectNothingSentOrKept();
}

TEST_F(CoverageGapsTest, LinkAndLocationOperationsRefuseNullArguments)
{
    ZelmLinkLoc entry{};
    ZelLocPublishReqMsg withoutList = {ZELM_LOC_OP_ADD, 2, nullptr};
    ZelLocationMsg one{};
    ZelLocPublishReqMsg withoutEntries = {ZELM_LOC_OP_ADD, 0, &one};

    EXPECT_EQ(ZelmLinkFindLocation(nullptr, 1, "svc"), nullptr);
    EXPECT_EQ(ZelmLinkAddLocation(nullptr, 1, "svc"), nullptr);
    ZelmLinkDelLocation(nullptr, 1, "svc");
    ZelmLinkLocationAvailable(nullptr, 1, "svc", 4);
    ZelmLinkDealLocLinkAvailable(nullptr, &entry, 4);
    ZelmLinkDealLocLinkAvailable(Link(), nullptr, 4);
    ZelmLinkPubLocationLink(nullptr, 4, 0x10);  // logged, delivered to nobody
    EXPECT_TRUE(zt::HasLog("zelm link publish locIndex 4 status, chan 0x10.", LORN_LEVEL_INFO));

    ZelmFreeZelLocationMsg(nullptr);
    ZelmLocInstDeepFreePublishReqMsg(nullptr);
    ZelmLocInstDeepFreePublishReqMsg(&withoutList);
    EXPECT_EQ(withoutList.locNum, 2u);
    ZelmLocationPublishUpdationDone(Loc(), &withoutList, 0);
    ZelmLocationPublishUpdationDone(Loc(), &withoutEntries, 0);
    ZelmLocPublishLocationInstCbk(QOF_RpcResult{1, 0}, &withoutList, nullptr, nullptr);
    EXPECT_TRUE(zt::HasLog("zelm publish location inst cbk ignored, control block is not current.", LORN_LEVEL_ERROR));
    EXPECT_EQ(ZelmLocSmoothTimerCbk(nullptr, nullptr, nullptr), 0u);

    EXPECT_EQ(ZEL_AVL_GetTree(nullptr), nullptr);
    EXPECT_EQ(ZEL_SET_InsertNode(nullptr, &entry, sizeof(entry)), kErr);
    EXPECT_EQ(entry.locIndex, 0u);
    EXPECT_EQ(ZEL_SET_Count(Link()->linkLocTree), 0u);
    ExpectNothingSentOrKept();
}

// ---- entries without their data --------------------------------------------------------------

TEST_F(CoverageGapsTest, ComponentCompletionWithoutInputMessageChangesNothing)
{
    uint32_t reply = 5;  // a failure, were it read
    ZelmCompPublishComponentCbk(QOF_RpcResult{0, 7}, nullptr, &reply, Comp());

    EXPECT_TRUE(zt::HasLog("zelm comp, publish component cbk fail, inmsg is null, success:0 errno:7",
                           LORN_LEVEL_ERROR, "ZelmCompPublishComponentCbk"));
    EXPECT_EQ(STANDIN_TimerFind("ZelmCompSmooth")->running, 0u);
    EXPECT_EQ(zt::CountLog("zelm comp, state switch : 0->2"), 0u);
    ExpectNothingSentOrKept();
}

TEST_F(CoverageGapsTest, OsNodeLinkWithoutUserDataIsOnlyLogged)
{
    const uint32_t position[3] = {1, 2, 3};  // chassis, slot, cpu: (3 << 16) + (1 << 8) + 2
    EXPECT_EQ(ZelmLocSubOsNodeLink(0x30102, position, 1, nullptr), 0u);

    EXPECT_TRUE(zt::HasLog("zelm location sub osid 0x30102(chassis 1,slot 2, cpu 3, ab 1).", LORN_LEVEL_INFO));
    EXPECT_TRUE(zt::HasLog("zelm locationInst, sub osnode(osNodeId 196866) link, usrdata is NULL.", LORN_LEVEL_ERROR,
                           "ZelmLocSubOsNodeLink"));
    EXPECT_EQ(ZelmLocTryFindOsNode(Loc(), 196866), nullptr);
    ExpectNothingSentOrKept();
}

// A location control block whose trees do not exist yet, as while the module starts.
TEST_F(CoverageGapsTest, LinkUpBeforeTheTreesExistKeepsNothing)
{
    locationCb starting{};
    osNodeInst node{};
    node.osNodeId = 0x102;
    node.publishFault = 1;
    const uint32_t position[3] = {1, 2, 0};

    EXPECT_EQ(ZelmLocSubOsNodeLink(0x102, position, 1, &starting), 0u);
    EXPECT_TRUE(zt::HasLog("zelm locationInst, sub osNodeId(0x102) link, add osNodeInst fail", LORN_LEVEL_ERROR));
    EXPECT_EQ(ZelmLocSmoothTimerCbk(nullptr, nullptr, &starting), 0u);
    EXPECT_EQ(ZelmLocTrySmoothSetLocationInst(&starting, &node, nullptr, nullptr), 0u);
    ZelmLocationPublishFaultSloved(&starting, &node);  // no OS node left flagged: the (absent) timer is stopped
    EXPECT_EQ(node.publishFault, 0u);
    ExpectNothingSentOrKept();
}

// ---- containers and hooks ----------------------------------------------------------------------

TEST_F(CoverageGapsTest, StringCompareOrdersTextsAsStrcmpDoes)
{
    EXPECT_EQ(ZEL_AVL_StringCompare("svc", "svc"), 0);
    EXPECT_LT(ZEL_AVL_StringCompare("svc-a", "svc-b"), 0);
    EXPECT_GT(ZEL_AVL_StringCompare("svc-b", "svc"), 0);
    EXPECT_LT(ZEL_AVL_StringCompare("", "a"), 0);
}

struct Entry {
    AXO_AVL3_NODE node;
    uint32_t key;
    uint32_t value;
};

TEST_F(CoverageGapsTest, SetThatCannotHoldItsKeyInsertsNothing)
{
    const ZelSetAllocator alloc = {ZELM_Malloc, ZELM_Free};
    const ZelSetDesc keyOutside = {sizeof(Entry), 0, 4, sizeof(Entry), ZEL_AVL_Uint32Compare, nullptr, nullptr};
    const ZelSetDesc noEntries = {offsetof(Entry, key), 0, 4, 0, ZEL_AVL_Uint32Compare, nullptr, nullptr};
    const ZelSetDesc fits = {offsetof(Entry, key), 0, 4, sizeof(Entry), ZEL_AVL_Uint32Compare, nullptr, nullptr};
    const uint32_t key = 7;

    for (const ZelSetDesc *desc : {&keyOutside, &noEntries, &fits}) {
        ZelSet *set = ZEL_AVL_Create(desc, &alloc);
        ASSERT_NE(set, nullptr);
        if (desc == &fits) {
            FailNextCopyOfSize(sizeof(Entry) - offsetof(Entry, key));  // the key's copy is refused
        }
        EXPECT_EQ(ZEL_SET_Insert(set, &key, sizeof(key)), nullptr);
        EXPECT_EQ(ZEL_SET_Count(set), 0u);
        ZEL_AVL_Destroy(set);
    }
    ExpectNothingSentOrKept();
}

// Only a node whose two heights both differ from -1 counts as linked.
TEST_F(CoverageGapsTest, EntryWithOneHeightUnsetIsNotUnlinked)
{
    const ZelSetAllocator alloc = {ZELM_Malloc, ZELM_Free};
    const ZelSetDesc desc = {offsetof(Entry, key), 0, 4, sizeof(Entry), ZEL_AVL_Uint32Compare, nullptr, nullptr};
    ZelSet *set = ZEL_AVL_Create(&desc, &alloc);
    ASSERT_NE(set, nullptr);
    const uint32_t key = 3;
    ASSERT_NE(ZEL_SET_Insert(set, &key, sizeof(key)), nullptr);

    Entry halfLinked{};
    halfLinked.node.leftHeight = 0;
    halfLinked.node.rightHeight = -1;
    ZelSetDeleteNode(set, &halfLinked);

    EXPECT_EQ(ZEL_SET_Count(set), 1u);
    EXPECT_NE(ZEL_SET_Find(set, &key, sizeof(key)), nullptr);
    ZEL_AVL_Destroy(set);
    ExpectNothingSentOrKept();
}

TEST_F(CoverageGapsTest, ComponentLocationHooksRefuseAnotherSize)
{
    ZelmCompLocation entry{};
    entry.locIndex = 9;
    const uint32_t wrong = sizeof(ZelmCompLocation) - 8;
    const std::string expected = "zelm comp, location init, len dismatch, " + std::to_string(wrong) + " != " +
                                 std::to_string(sizeof(ZelmCompLocation));

    EXPECT_EQ(ZelmCompLocationTreeInit(&entry, wrong), kErr);
    EXPECT_TRUE(zt::HasLog(expected, LORN_LEVEL_ERROR, "ZelmCompLocationTreeInit"));
    EXPECT_EQ(entry.locIndex, 9u);
    EXPECT_EQ(entry.componentTree, nullptr);

    entry.componentTree = reinterpret_cast<ZelSet *>(&entry);  // must be left alone
    ZelmCompLocationTreeFini(&entry, wrong);
    EXPECT_TRUE(zt::HasLog("zelm comp, location fini, len dismatch, " + std::to_string(wrong) + " != " +
                               std::to_string(sizeof(ZelmCompLocation)),
                           LORN_LEVEL_ERROR, "ZelmCompLocationTreeFini"));
    EXPECT_EQ(entry.componentTree, reinterpret_cast<ZelSet *>(&entry));
    ExpectNothingSentOrKept();
}

// ---- the host's record and module blocks ---------------------------------------------------------

TEST_F(CoverageGapsTest, HooksClearedInThePublishedRecordAreNotCalled)
{
    ZelmLocalData *data = g_zelmLocalData;
    void *block = STANDIN_HostMalloc(8);
    const uint64_t attempts = STANDIN_HostAllocCount();

    data->mallocFn = nullptr;
    EXPECT_EQ(ZELM_Malloc(8), nullptr);
    data->mallocFn = STANDIN_HostMalloc;
    EXPECT_EQ(STANDIN_HostAllocCount(), attempts);

    data->freeFn = nullptr;
    ZELM_Free(block);
    data->freeFn = STANDIN_HostFree;
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks_ + 1);  // still the host's
    STANDIN_HostFree(block);
    ExpectNothingSentOrKept();
}

TEST_F(CoverageGapsTest, ModuleBlocksWithoutTimerAreStoppedWithoutDestroyingOne)
{
    auto *comp = static_cast<ZelmCompCb *>(ZELM_Malloc(sizeof(ZelmCompCb)));
    auto *loc = static_cast<locationCb *>(ZELM_Malloc(sizeof(locationCb)));
    ASSERT_NE(comp, nullptr);
    ASSERT_NE(loc, nullptr);
    *comp = ZelmCompCb{};
    *loc = locationCb{};
    STANDIN_TimerEventClear();

    ZELM_COMP_FInit(comp);
    ZELM_LOCATION_FInit(loc);

    EXPECT_EQ(STANDIN_TimerEventCount(), 0u);
    EXPECT_EQ(STANDIN_TimerAliveCount(), 2u);  // the running modules' own timers
    EXPECT_TRUE(zt::HasLog("[ZELM] comp finit ok.", LORN_LEVEL_INFO));
    EXPECT_TRUE(zt::HasLog("[ZELM] locationInst finit ok.", LORN_LEVEL_INFO));
    ExpectNothingSentOrKept();
}

// ---- failing bounded copies ------------------------------------------------------------------------

TEST_F(CoverageGapsTest, RefusedCopyOfATypeOrComponentStoresNothingAndFailsTheAtom)
{
    const ZelmCompNodeCfg type = zt::CompNodeCfg(1, "type");
    ASSERT_EQ(AtomCode(ZELM_CLASS_COMP_NODE, type), 0u);
    ASSERT_EQ(AtomCode(ZELM_CLASS_COMPONENT, zt::CompCfg(2, 1, 1, "before")), 0u);

    FailNextCopyOfSize(sizeof(ZelmCompNodeCfg));
    EXPECT_EQ(AtomCode(ZELM_CLASS_COMP_NODE, zt::CompNodeCfg(1, "other")), kErr);
    EXPECT_TRUE(zt::HasLog(
        "zelm comp, add compNode by cfg failed. compType (1) compTypeName (other) compFileName(comp.bin)",
        LORN_LEVEL_ERROR));

    ZelmCompNodeCfg out{};
    ASSERT_EQ(AtomCode(ZELM_CLASS_COMP_NODE, zt::CompNodeCfg(2, "second")), 0u);
    FailNextCopyOfSize(sizeof(ZelmCompNodeCfg));
    EXPECT_EQ(ZELM_COMP_GetCompNodeCfg(Comp(), 2, &out), kErr);

    FailNextCopyOfSize(sizeof(ZelmCompInstCfg));
    EXPECT_EQ(AtomCode(ZELM_CLASS_COMPONENT, zt::CompCfg(2, 1, 1, "after")), kErr);
    EXPECT_EQ(zt::CountLog("zelm comp, add comp inst to location ok. compInstName after(1) locIndex 2"), 0u);
    EXPECT_EQ(STANDIN_RpcCallCount(), 0u);  // location 2 has no channel: nothing was to be sent anyway
}

TEST_F(CoverageGapsTest, SmoothingLeavesOutAComponentWhoseCopyIsRefused)
{
    const uint32_t node = STANDIN_KormAddOsNode(0, 1, 0, 1);
    ASSERT_EQ(AtomCode(ZELM_CLASS_COMPONENT, zt::CompCfg(4, 1, 3, "first")), 0u);
    ASSERT_EQ(AtomCode(ZELM_CLASS_COMPONENT, zt::CompCfg(4, 2, 207, "second")), 0u);

    FailNextCopyOfSize(sizeof(ZelmCompInstCfg));
    STANDIN_KormRaiseLocationStatus(node, "svc", 4, 1);
    STANDIN_RunDue();

    ASSERT_EQ(STANDIN_RpcCallCount(), 1u);
    const STANDIN_RpcCall *call = STANDIN_RpcCallGet(0);
    EXPECT_EQ(call->opType, ZELM_COMP_OP_SMOOTH);
    ASSERT_EQ(call->entryNum, 1u);
    EXPECT_EQ(call->compEntries[0].compInst, 2u);
    EXPECT_TRUE(zt::HasLog(
        "zelm comp, location(locIndex 4) try to publish smooth comp finished: batchNum 2, realNum 1.",
        LORN_LEVEL_INFO));
}

TEST_F(CoverageGapsStartTest, RefusedCopyOfTheMessageTableFailsTheStartAndRegistersNothing)
{
    FailNextCopyOfSize(ZELM_MSG_TABLE_NUM * sizeof(ZelmMsgTableEntry));
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), kErr);

    ASSERT_NE(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(ZELM_GetLocalData()->msgTable, nullptr);
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_LOCATION, nullptr), nullptr);
    EXPECT_EQ(STANDIN_CallCount("QOF_UloServerSetClassidMsgHandler"), 0u);
}

// The classes registered before a refused one stay registered; their messages find no table.
TEST_F(CoverageGapsStartTest, AfterAFailedRegistrationTheRegisteredClassesAnswerWithoutHandling)
{
    ASSERT_EQ(STANDIN_FailCall("QOF_UloServerSetClassidMsgHandler", 3, 5), 0);
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), kErr);
    ASSERT_NE(STANDIN_UloHandler(ZELM_CLASS_LOCATION, nullptr), nullptr);

    EXPECT_EQ(zt::Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, zt::LocCfg(3, 0x101, "loc")), 0u);

    ASSERT_EQ(STANDIN_ReplyCount(), 1u);
    const STANDIN_Reply *reply = STANDIN_ReplyGet(0);
    ASSERT_EQ(reply->opInfoNum, 1u);
    EXPECT_EQ(reply->opInfos[0].code, 0u);
    EXPECT_EQ(reply->hasRetCode, 0u);
    auto *loc = static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    EXPECT_EQ(ZelmTryFindLocationInst(loc, 3), nullptr);
    EXPECT_EQ(zt::CountLog("[Zelm]Try Create location, OsInst(0x101) LocId(3) LocGrp(0)LocType(0) LocName(loc) "
                           "imageName(app.service) Lrid(0)."),
              0u);
}

}  // namespace
