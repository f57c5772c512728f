// LOCATION module lifecycle: a start that fails at any step leaves nothing behind, and a stop releases everything.
#include <string>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

const char *const kSubLine = "[ZELM] locationInst init failed. sub locationInst link error.";
const char *const kTimerLine = "[ZELM] locationInst init failed. init smooth timer error.";

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

TEST_F(LocationModuleTest, RefusedSubscriptionFailsTheStartWithoutTimer)
{
    ASSERT_EQ(STANDIN_FailCall("KORM_SubOsNodeStatusIntf", 1, 1), 0);
    StartFailing();
    EXPECT_TRUE(zt::HasLog(kSubLine, LORN_LEVEL_ERROR, "ZELM_LOCATION_Init"));
    EXPECT_EQ(STANDIN_TimerFind("ZelmLocSmooth"), nullptr);
    StopAndCheck();
}

// Each step of making the smooth timer that can fail, with the line that reports it; a failure after the
// subscription withdraws it again.
TEST_F(LocationModuleTest, EveryTimerStepThatFailsFailsTheStartAndLeavesNothing)
{
    struct Case {
        const char *platformFn;
        uint64_t nth;
        const char *line;
    };
    const Case cases[] = {
        {"QOF_TimerCreateAttr", 1, "[ZELM] locationInst init create smooth timer attr failed."},
        {"QOF_TimerSetAttr", 2, "[ZELM] locationInst init set smooth timer attr failed."},
        {"QOF_TimerCreate", 1, "[ZELM] locationInst init create smooth timer failed."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.platformFn);
        STANDIN_Reset();
        ASSERT_EQ(STANDIN_FailCall(c.platformFn, c.nth, 1), 0);
        StartFailing();
        EXPECT_TRUE(zt::HasLog(c.line, LORN_LEVEL_ERROR, "ZelmLocInitSmoothTimer"));
        EXPECT_TRUE(zt::HasLog(kTimerLine, LORN_LEVEL_ERROR, "ZELM_LOCATION_Init"));
        EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u);
        if (c.nth == 2) {
            EXPECT_EQ(STANDIN_CallCount("QOF_TimerSetAttr"), 4u) << "all four attributes are set all the same";
        }
        StopAndCheck();
    }
}

}  // namespace
