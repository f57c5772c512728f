// Stopping with calls in flight: a completion that outlives its library touches nothing of it, nor of the next one.
//
// The host's allocator here keeps released blocks out of use (poisoned in the
// asan build), so that a completion touching a released control block is caught.
#include <map>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

std::map<void *, size_t> g_live;
std::vector<void *> g_order;  // live blocks in allocation order
std::vector<std::pair<void *, size_t>> g_held;

void *HoldingMalloc(size_t size)
{
    void *block = STANDIN_HostMalloc(size);
    if (block != nullptr) {
        g_live[block] = size;
        g_order.push_back(block);
    }
    return block;
}

void HoldingFree(void *block)
{
    if (block == nullptr) {
        return;
    }
    ASSERT_EQ(g_live.count(block), 1u) << "not a live block of this host";
#if defined(__SANITIZE_ADDRESS__)
    ASAN_POISON_MEMORY_REGION(block, g_live[block]);
#endif
    g_held.emplace_back(block, g_live[block]);
    g_live.erase(block);
}

class StopInFlightTest : public StoppedTest {
protected:
    void TearDown() override
    {
        STANDIN_RpcFailPending(1);
        ZELM_FInit();
        for (auto &[block, size] : g_held) {
#if defined(__SANITIZE_ADDRESS__)
            ASAN_UNPOISON_MEMORY_REGION(block, size);
#endif
            STANDIN_HostFree(block);
        }
        g_held.clear();
        g_order.clear();
        StoppedTest::TearDown();
    }
    // Starts the library on the holding host; one location and one component publication are left pending.
    void StartAndPublish()
    {
        ASSERT_EQ(ZELM_Init(HoldingMalloc, HoldingFree), 0u);
        agent_ = zt::Announce(7);
        ASSERT_EQ(zt::Loc(0, zt::LocCfg(1, STANDIN_OsNodeId(0, 1, 0), "loc1")), 0u);
        ASSERT_EQ(zt::Comp(0, zt::CompCfg(7, 1, 3, "comp1")), 0u);
        ASSERT_EQ(STANDIN_RpcPendingCount(), 2u);
    }
    // A host that broke the contract releases what the ignored completions left whole: texts, then lists.
    static void ReleaseStrandedRequests()
    {
        std::vector<void *> lists;
        for (void *block : g_order) {
            if (g_live.count(block) != 0) {
                lists.push_back(block);
            }
        }
        ASSERT_EQ(lists.size(), 2u) << "only the two pending requests may be left";
        auto *loc = static_cast<ZelLocationMsg *>(lists[0]);
        auto *comp = static_cast<ZelComponentMsg *>(lists[1]);
        EXPECT_STREQ(loc->LocName, "loc1");
        EXPECT_STREQ(comp->compInstName, "comp1");
        ZelmFreeZelLocationMsg(loc);
        ZelmFreeZelComponentMsg(comp);
        for (void *list : lists) {
            g_live.erase(list);
            STANDIN_HostFree(list);
        }
    }
    static bool IgnoredBoth()
    {
        return zt::Logged(LORN_LEVEL_ERROR, "ZelmLocPublishLocationInstCbk") &&
               zt::Logged(LORN_LEVEL_ERROR, "ZelmCompPublishComponentCbk");
    }
    QOF_ConnHandle agent_ = 0;
};

TEST_F(StopInFlightTest, CompletionsAfterTheStopAreIgnoredAndLeaveTheirRequestsWhole)
{
    StartAndPublish();
    ZELM_FInit();
    STANDIN_RunFor(10);
    EXPECT_EQ(STANDIN_RpcPendingCount(), 0u);
    EXPECT_TRUE(IgnoredBoth());
    ReleaseStrandedRequests();
}

TEST_F(StopInFlightTest, StaleCompletionsAfterARestartLeaveTheNewLibraryAlone)
{
    StartAndPublish();
    zt::Answer(agent_, zt::AgentMode::Fail);  // applied, both completions would flag their peers
    ZELM_FInit();
    // The next life holds the same location and component, unpublished: no HA role, no link.
    ASSERT_EQ(ZELM_Init(HoldingMalloc, HoldingFree), 0u);
    STANDIN_MirlSetHaRole(1);
    ASSERT_EQ(zt::Loc(0, zt::LocCfg(1, STANDIN_OsNodeId(0, 1, 0), "loc1")), 0u);
    ASSERT_EQ(zt::Comp(0, zt::CompCfg(7, 1, 3, "comp1")), 0u);
    STANDIN_RunFor(10);
    EXPECT_TRUE(IgnoredBoth());
    EXPECT_EQ(ZelmTryFindLocationInst(zt::LocCb(), 1)->publishState, ZELM_LOC_STATE_CFG);
    EXPECT_FALSE(zt::TimerRunning("ZelmLocSmooth"));
    EXPECT_FALSE(zt::TimerRunning("ZelmCompSmooth"));
    ZELM_FInit();
    ReleaseStrandedRequests();
}

TEST_F(StopInFlightTest, AResetFailsThePendingCallsThroughTheRunningLibraryFirst)
{
    StartAndPublish();
    STANDIN_Reset();
    EXPECT_EQ(ZelmTryFindLocationInst(zt::LocCb(), 1)->publishState, ZELM_LOC_STATE_FAILED);
    ZELM_FInit();
    EXPECT_TRUE(g_live.empty());
}

}  // namespace
