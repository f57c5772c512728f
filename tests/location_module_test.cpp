// LOCATION module lifecycle: a start that fails at any step leaves nothing behind, and a stop releases everything.
#include <string>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

const char *const kCbLine = "[ZELM] locationInst init failed. create locationInst cb error.";
const char *const kSubLine = "[ZELM] locationInst init failed. sub locationInst link error.";
const char *const kTimerLine = "[ZELM] locationInst init failed. init smooth timer error.";
const char *const kTreeLine = "[ZELM] locationInst init tree failed.";

class LocationModuleTest : public StandinTest {
protected:
    // Starts the library, expecting the location module's start to fail.
    void StartFailing()
    {
        EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0xFFFFFFFFu);
        EXPECT_TRUE(zt::HasLog("zelm init, create mod 2 fail", LORN_LEVEL_ERROR, "ZelmInitMods"));
        EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_LOCATION), nullptr);
        EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 0) << "no OS-node report may reach the released block";
    }
    void StopAndCheck()
    {
        ZELM_FInit();
        EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
        EXPECT_EQ(STANDIN_TimerAliveCount(), 0u);
        EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u);
    }
};

TEST_F(LocationModuleTest, StartSubscribesAndMakesATimerAndStopReleasesEverything)
{
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    auto *cb = static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    ASSERT_NE(cb, nullptr);
    EXPECT_TRUE(zt::HasLog("[ZELM] locationInst init ok.", LORN_LEVEL_INFO, "ZELM_LOCATION_Init"));
    EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 1);
    EXPECT_NE(cb->locationInstTree, nullptr);
    EXPECT_NE(cb->logicGrpInstTree, nullptr);
    EXPECT_NE(cb->osNodeTree, nullptr);

    // Records of all three kinds, released by the stop.
    ASSERT_NE(ZelmTryAddLocationInst(cb, 1), nullptr);
    ASSERT_NE(ZelmTryAddLogicGrpInst(cb, 1), nullptr);
    ASSERT_NE(ZelmLocTryAddOsNode(cb, 1), nullptr);
    StopAndCheck();
    EXPECT_TRUE(zt::HasLog("[ZELM] locationInst finit ok.", LORN_LEVEL_INFO, "ZELM_LOCATION_FInit"));
}

TEST_F(LocationModuleTest, StopWithoutControlBlockDoesNothing)
{
    ZELM_LOCATION_FInit(nullptr);
    EXPECT_EQ(STANDIN_LogCount(), 0u);
}

TEST_F(LocationModuleTest, RefusedSubscriptionFailsTheStartWithoutTimer)
{
    ASSERT_EQ(STANDIN_FailCall("KORM_SubOsNodeStatusIntf", 1, 1), 0);
    StartFailing();
    EXPECT_TRUE(zt::HasLog(kSubLine, LORN_LEVEL_ERROR, "ZELM_LOCATION_Init"));
    EXPECT_EQ(STANDIN_TimerFind("ZelmLocSmooth"), nullptr);
    StopAndCheck();
}

TEST_F(LocationModuleTest, TimerAttributeFailureWithdrawsTheSubscription)
{
    ASSERT_EQ(STANDIN_FailCall("QOF_TimerSetAttr", 2, 1), 0);
    StartFailing();
    EXPECT_TRUE(zt::HasLog("[ZELM] locationInst init set smooth timer attr failed.", LORN_LEVEL_ERROR,
                           "ZelmLocInitSmoothTimer"));
    EXPECT_TRUE(zt::HasLog(kTimerLine, LORN_LEVEL_ERROR, "ZELM_LOCATION_Init"));
    EXPECT_EQ(STANDIN_CallCount("QOF_TimerSetAttr"), 4u) << "all four attributes are set";
    EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u);
    StopAndCheck();
}

TEST_F(LocationModuleTest, TimerAttributeSetThatCannotBeMadeFailsTheStart)
{
    ASSERT_EQ(STANDIN_FailCall("QOF_TimerCreateAttr", 1, 1), 0);
    StartFailing();
    EXPECT_TRUE(zt::HasLog("[ZELM] locationInst init create smooth timer attr failed.", LORN_LEVEL_ERROR,
                           "ZelmLocInitSmoothTimer"));
    EXPECT_TRUE(zt::HasLog(kTimerLine, LORN_LEVEL_ERROR));
    StopAndCheck();
}

TEST_F(LocationModuleTest, TimerThatCannotBeMadeFailsTheStart)
{
    ASSERT_EQ(STANDIN_FailCall("QOF_TimerCreate", 1, 1), 0);
    StartFailing();
    EXPECT_TRUE(zt::HasLog("[ZELM] locationInst init create smooth timer failed.", LORN_LEVEL_ERROR,
                           "ZelmLocInitSmoothTimer"));
    EXPECT_TRUE(zt::HasLog(kTimerLine, LORN_LEVEL_ERROR));
    EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u);
    StopAndCheck();
}

// Fails each allocation of the start in turn: every failure of the module's own
// allocations is reported by its line and leaves no timer, subscription or block.
TEST_F(LocationModuleTest, EveryAllocationFailureOfTheStartLeavesNothingBehind)
{
    bool sawCb = false;
    bool sawTree = false;
    for (uint64_t n = 1; n < 64; ++n) {
        STANDIN_Reset();
        STANDIN_HostFailNth(n);
        const uint32_t ret = ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree);
        const bool cbFailed = zt::CountLog(kCbLine) == 1;
        const bool treeFailed = zt::CountLog(kTreeLine) == 1;
        sawCb = sawCb || cbFailed;
        sawTree = sawTree || treeFailed;
        if (cbFailed || treeFailed) {
            EXPECT_EQ(ret, 0xFFFFFFFFu);
            EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 0) << "allocation " << n;
            const STANDIN_TimerInfo *timer = STANDIN_TimerFind("ZelmLocSmooth");
            EXPECT_TRUE(timer == nullptr || timer->alive == 0) << "allocation " << n;
        }
        StopAndCheck();
        if (ret == 0) {
            break;  // every allocation of the start has been failed once
        }
    }
    EXPECT_TRUE(sawCb);
    EXPECT_TRUE(sawTree);
}

}  // namespace
