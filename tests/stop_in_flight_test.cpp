// Stopping with calls in flight: what the host, the stand-in and the library each do with a pending RPC call.
//
// The host completes (fails) every pending call before ZELM_FInit; the
// stand-in's reset fails pending calls before anything else; the library's
// completions act only on the current control block and leave anything else
// untouched. Released blocks can be kept out of use and poisoned (asan build)
// by the host allocator below, so that a completion touching one is caught.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

// The host's allocator for these tests: it knows its live blocks and, by
// policy, keeps released blocks out of use (Quarantine, poisoned under asan)
// or keeps them too but hands the block named in `reuseForComp` back to the
// COMP module when it starts again (Reuse).
struct TestHost {
    enum Policy { Plain, Quarantine, Reuse };
    Policy policy = Plain;
    void *reuseForComp = nullptr;
    std::map<void *, size_t> live;
    std::vector<std::pair<void *, size_t>> held;
    std::map<size_t, std::vector<void *>> spare;
};

TestHost g_host;

void *HostMalloc(size_t size)
{
    void *block = nullptr;
    auto &spare = g_host.spare[size];
    const bool compStarting = ZELM_GetModCb(ZELM_MOD_LOCATION) != nullptr && ZELM_GetModCb(ZELM_MOD_COMP) == nullptr;
    const auto pick = std::find(spare.begin(), spare.end(), g_host.reuseForComp);
    if (g_host.policy == TestHost::Reuse && compStarting && pick != spare.end()) {
        block = *pick;
        spare.erase(pick);
    } else {
        block = STANDIN_HostMalloc(size);
    }
    if (block != nullptr) {
        g_host.live[block] = size;
    }
    return block;
}

void HostFree(void *block)
{
    if (block == nullptr) {
        return;
    }
    const auto it = g_host.live.find(block);
    ASSERT_NE(it, g_host.live.end()) << "freeing a block the host did not give out: " << block;
    const size_t size = it->second;
    g_host.live.erase(it);
    switch (g_host.policy) {
    case TestHost::Quarantine:
#if defined(__SANITIZE_ADDRESS__)
        ASAN_POISON_MEMORY_REGION(block, size);
#endif
        g_host.held.emplace_back(block, size);
        break;
    case TestHost::Reuse:
        g_host.spare[size].push_back(block);
        break;
    case TestHost::Plain:
        STANDIN_HostFree(block);
        break;
    }
}

void HostReleaseAll()
{
    for (auto &[block, size] : g_host.held) {
#if defined(__SANITIZE_ADDRESS__)
        ASAN_UNPOISON_MEMORY_REGION(block, size);
#endif
        (void)size;
        STANDIN_HostFree(block);
    }
    for (auto &[size, blocks] : g_host.spare) {
        for (void *block : blocks) {
            STANDIN_HostFree(block);
        }
    }
    g_host = TestHost{};
}

// Blocks of `size` bytes that became live since `before`.
std::vector<void *> NewBlocks(const std::map<void *, size_t> &before, size_t size)
{
    std::vector<void *> blocks;
    for (const auto &[block, n] : g_host.live) {
        if (n == size && before.count(block) == 0) {
            blocks.push_back(block);
        }
    }
    return blocks;
}

// A host that broke the contract releases what the ignored completions left: the texts, then the list.
void HostReleaseLocRequest(void *list)
{
    auto *entry = static_cast<ZelLocationMsg *>(list);
    std::free(entry->LocName);
    std::free(entry->imageName);
    std::free(entry->LocExtName);
    HostFree(list);
}

void HostReleaseCompRequest(void *list)
{
    auto *entry = static_cast<ZelComponentMsg *>(list);
    std::free(entry->compTypeName);
    std::free(entry->compFileName);
    std::free(entry->compExtName);
    std::free(entry->compInstName);
    HostFree(list);
}

locationCb *LocCb() { return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION)); }
ZelmCompCb *CompCb() { return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP)); }

bool TimerRunning(const char *name)
{
    const STANDIN_TimerInfo *info = STANDIN_TimerFind(name);
    return info != nullptr && info->alive != 0 && info->running != 0;
}

constexpr uint32_t kLocIndex = 1;
constexpr uint32_t kCompLoc = 7;
constexpr uint32_t kCompInst = 1;
constexpr uint32_t kCompType = 5;

class StopInFlightTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        STANDIN_Reset();
        node_ = STANDIN_KormAddOsNode(1, 1, 0, 1);
        handle_ = STANDIN_KormServerHandle(node_);
    }

    void TearDown() override
    {
        if (ZELM_GetLocalData() != nullptr) {
            STANDIN_RpcFailPending(1);
            ZELM_FInit();
        }
        STANDIN_Reset();
        HostReleaseAll();
        EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
    }

    void Start(TestHost::Policy policy)
    {
        g_host.policy = policy;
        ASSERT_EQ(ZELM_Init(HostMalloc, HostFree), 0u);
    }

    void LinkUp()
    {
        ASSERT_EQ(STANDIN_KormRaiseOsNodeLink(node_, 1), 0);
        STANDIN_RunDue();
    }

    void FailNextCalls(uint32_t n)
    {
        STANDIN_AgentScript script{};
        ASSERT_EQ(STANDIN_AgentGetScript(handle_, &script), 0);
        script.failNext = n;
        ASSERT_EQ(STANDIN_AgentSetScript(handle_, &script), 0);
    }

    // One location and one component publication, both left pending; their request lists are remembered.
    void PublishOneOfEach()
    {
        LinkUp();
        ASSERT_EQ(zt::Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, zt::CompNodeCfg(kCompType, "type5")), 0u);
        STANDIN_KormRaiseLocationStatus(node_, "svc", kCompLoc, 1);
        STANDIN_RunDue();

        std::map<void *, size_t> before = g_host.live;
        ASSERT_EQ(zt::Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, zt::LocCfg(kLocIndex, node_, "loc1")), 0u);
        std::vector<void *> lists = NewBlocks(before, sizeof(ZelLocationMsg));
        ASSERT_EQ(lists.size(), 1u);
        locList_ = lists[0];

        before = g_host.live;
        ASSERT_EQ(zt::Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD,
                              zt::CompCfg(kCompLoc, kCompInst, kCompType, "comp1")),
                  0u);
        lists = NewBlocks(before, sizeof(ZelComponentMsg));
        ASSERT_EQ(lists.size(), 1u);
        compList_ = lists[0];
        ASSERT_EQ(STANDIN_RpcPendingCount(), 2u);
    }

    // Checks that the requests the ignored completions carried are still whole, then releases them as the host.
    void ExpectRequestsLeftWhole()
    {
        ASSERT_EQ(g_host.live.size(), 2u) << "only the two requests of the pending calls may be left";
        ASSERT_EQ(g_host.live.count(locList_), 1u);
        ASSERT_EQ(g_host.live.count(compList_), 1u);
        const auto *loc = static_cast<const ZelLocationMsg *>(locList_);
        EXPECT_EQ(loc->LocId, kLocIndex);
        ASSERT_NE(loc->LocName, nullptr);
        EXPECT_STREQ(loc->LocName, "loc1");
        const auto *comp = static_cast<const ZelComponentMsg *>(compList_);
        EXPECT_EQ(comp->compInst, kCompInst);
        ASSERT_NE(comp->compInstName, nullptr);
        EXPECT_STREQ(comp->compInstName, "comp1");
        HostReleaseLocRequest(locList_);
        HostReleaseCompRequest(compList_);
        EXPECT_TRUE(g_host.live.empty());
    }

    static size_t IgnoredCompletions()
    {
        return zt::CountLog("zelm publish location inst cbk ignored, control block is not current.",
                            "ZelmLocPublishLocationInstCbk") +
               zt::CountLog("zelm comp, publish component cbk ignored, control block is not current.",
                            "ZelmCompPublishComponentCbk");
    }

    uint32_t node_ = 0;
    QOF_ConnHandle handle_ = 0;
    void *locList_ = nullptr;
    void *compList_ = nullptr;
};

TEST_F(StopInFlightTest, FailingPendingCallsBeforeTheStopReleasesEveryRequest)
{
    Start(TestHost::Quarantine);
    PublishOneOfEach();

    STANDIN_RpcFailPending(9);
    EXPECT_EQ(STANDIN_RpcPendingCount(), 0u);
    // The completions reached the running library: a failure each, flagged and retried by the timers.
    EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), kLocIndex)->publishState, ZELM_LOC_STATE_FAILED);
    EXPECT_EQ(ZelmLocTryFindOsNode(LocCb(), node_)->publishFault, 1u);
    EXPECT_TRUE(TimerRunning("ZelmLocSmooth"));
    EXPECT_TRUE(TimerRunning("ZelmCompSmooth"));
    EXPECT_EQ(g_host.live.count(locList_), 0u);
    EXPECT_EQ(g_host.live.count(compList_), 0u);

    ZELM_FInit();
    EXPECT_TRUE(g_host.live.empty());
    EXPECT_EQ(STANDIN_TimerAliveCount(), 0u);
    EXPECT_EQ(IgnoredCompletions(), 0u);

    // And the next life starts from nothing.
    Start(TestHost::Quarantine);
    STANDIN_RunFor(20000);
    EXPECT_EQ(STANDIN_RpcCallCount(), 2u) << "nothing of the former life is republished";
    ZELM_FInit();
    EXPECT_TRUE(g_host.live.empty());
}

TEST_F(StopInFlightTest, CompletionsAfterTheStopAreIgnoredAndLeaveTheirRequestsWhole)
{
    Start(TestHost::Quarantine);
    PublishOneOfEach();

    ZELM_FInit();  // the host broke its contract: two calls are still pending
    ASSERT_EQ(STANDIN_RpcPendingCount(), 2u);
    STANDIN_RunFor(10);
    EXPECT_EQ(STANDIN_RpcPendingCount(), 0u);
    EXPECT_EQ(IgnoredCompletions(), 2u);
    EXPECT_TRUE(zt::HasLog("zelm publish location inst cbk ignored, control block is not current.", LORN_LEVEL_ERROR,
                           "ZelmLocPublishLocationInstCbk"));
    ExpectRequestsLeftWhole();
}

TEST_F(StopInFlightTest, StaleCompletionsAfterARestartLeaveTheNewLibraryAlone)
{
    Start(TestHost::Quarantine);
    FailNextCalls(2);  // applied, both completions would flag their peers and start the timers
    PublishOneOfEach();
    void *const oldLocCb = LocCb();
    void *const oldCompCb = CompCb();
    ZELM_FInit();

    // The next life holds the same location and component, unpublished: no HA role, and no link for the component.
    Start(TestHost::Quarantine);
    ASSERT_NE(static_cast<void *>(LocCb()), oldLocCb);
    ASSERT_NE(static_cast<void *>(CompCb()), oldCompCb);
    STANDIN_MirlSetHaRole(1);
    LinkUp();
    ASSERT_EQ(zt::Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, zt::LocCfg(kLocIndex, node_, "loc1")), 0u);
    ASSERT_EQ(zt::Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, zt::CompNodeCfg(kCompType, "type5")), 0u);
    ASSERT_EQ(zt::Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, zt::CompCfg(kCompLoc, kCompInst, kCompType, "comp1")),
              0u);
    ASSERT_EQ(STANDIN_RpcPendingCount(), 2u) << "only the former life's calls are pending";
    const size_t liveOfNewLife = g_host.live.size();

    STANDIN_RunFor(10);
    EXPECT_EQ(IgnoredCompletions(), 2u);
    EXPECT_EQ(ZelmTryFindLocationInst(LocCb(), kLocIndex)->publishState, ZELM_LOC_STATE_CFG);
    EXPECT_EQ(ZelmLocTryFindOsNode(LocCb(), node_)->publishFault, 0u);
    const auto *location = static_cast<ZelmCompLocation *>(ZEL_SET_Find(CompCb()->locationTree, &kCompLoc, 4));
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->publishFault, 0u);
    const auto *component = static_cast<ZelmComponent *>(ZEL_SET_Find(location->componentTree, &kCompInst, 4));
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->state, ZELM_COMP_STATE_CFG);
    EXPECT_FALSE(TimerRunning("ZelmLocSmooth"));
    EXPECT_FALSE(TimerRunning("ZelmCompSmooth"));
    EXPECT_EQ(g_host.live.size(), liveOfNewLife);

    ZELM_FInit();
    ExpectRequestsLeftWhole();
}

// The check is by address: a new control block that happens to lie where the
// old one lay cannot be told from it. The completion is then taken as the new
// block's, which stays memory-safe: it reads and releases only its own request
// and finds records by key.
TEST_F(StopInFlightTest, StaleCompletionMeetingANewBlockAtTheOldAddressTouchesOnlyItsOwnRequest)
{
    Start(TestHost::Reuse);
    PublishOneOfEach();
    void *const oldCompCb = CompCb();
    ZELM_FInit();
    g_host.reuseForComp = oldCompCb;
    Start(TestHost::Reuse);
    g_host.reuseForComp = nullptr;
    ASSERT_EQ(static_cast<void *>(CompCb()), oldCompCb) << "the allocator did not hand the block back";
    const size_t liveOfNewLife = g_host.live.size() - 2;  // less the two stale requests

    STANDIN_RunFor(10);
    // The new life holds no location of index 7: the completion finds nothing to update.
    EXPECT_TRUE(zt::HasLog("zelm comp, publish component cbk fail, publish update find location(locidx = 7) error",
                           LORN_LEVEL_ERROR, "ZelmCompPublishUpdationDone"));
    EXPECT_EQ(ZEL_SET_Count(CompCb()->locationTree), 0u);
    EXPECT_FALSE(TimerRunning("ZelmCompSmooth"));
    EXPECT_EQ(g_host.live.count(compList_), 0u) << "the completion released its own request";
    ASSERT_EQ(g_host.live.count(locList_), 1u) << "the location completion was told apart and ignored";
    HostReleaseLocRequest(locList_);
    EXPECT_EQ(g_host.live.size(), liveOfNewLife);
}

TEST_F(StopInFlightTest, NoTimerTickOrStatusReportReachesAStoppedLibrary)
{
    Start(TestHost::Quarantine);
    STANDIN_AgentScript script{};
    script.refuseNext = 1;
    ASSERT_EQ(STANDIN_AgentSetScript(handle_, &script), 0);
    LinkUp();
    ASSERT_EQ(zt::Deliver(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, zt::LocCfg(kLocIndex, node_, "loc1")), 0u);
    ASSERT_TRUE(TimerRunning("ZelmLocSmooth"));

    ZELM_FInit();
    const size_t logged = STANDIN_LogCount();
    EXPECT_EQ(STANDIN_TimerAliveCount(), 0u);
    EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 0);
    EXPECT_EQ(STANDIN_KormLocationSubscribed(), 0);
    (void)STANDIN_KormRaiseOsNodeLink(node_, 0);
    STANDIN_KormRaiseLocationStatus(node_, "svc", kCompLoc, 1);
    STANDIN_RunFor(20000);
    EXPECT_EQ(STANDIN_LogCount(), logged) << "the stopped library was entered";
    EXPECT_TRUE(g_host.live.empty());
}

}  // namespace
