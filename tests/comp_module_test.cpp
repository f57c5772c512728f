// COMP module: start and stop, the smooth timer, the model's lookups and hooks, and message release.
#include <cstdlib>
#include <cstring>
#include <string>

#include "comp_fixture.h"
#include "platform/lorn.h"

namespace {

using CompModuleTest = CompTest;
using CompStartTest = StandinTest;

TEST_F(CompModuleTest, SmoothTimerIsCreatedStoppedWithItsAttributes)
{
    const STANDIN_TimerInfo *timer = SmoothTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->thHandle, ZELM_INFRA_GetThHandle());
    EXPECT_EQ(timer->cbPair.callback, &ZelmCompSmoothTimerCbk);
    EXPECT_EQ(timer->cbPair.userData, Cb());
    EXPECT_EQ(timer->mode, 1u);
    EXPECT_EQ(timer->interval, 5000u);
    EXPECT_EQ(timer->nameLen, 14u);
    EXPECT_STREQ(timer->name, "ZelmCompSmooth");
    EXPECT_EQ(timer->running, 0u);
    EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u);
    EXPECT_TRUE(zt::HasLog("[ZELM] comp init ok.", LORN_LEVEL_INFO, "ZELM_COMP_Init"));
}

TEST_F(CompModuleTest, StopReleasesEveryRecordAndTheTimer)
{
    Announce(5);
    ASSERT_EQ(AddType(10), 0u);
    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    ASSERT_EQ(AddComp(6, 2, 10), 0u);
    Settle();
    StopLibrary();
    EXPECT_EQ(SmoothTimer()->alive, 0u);
    EXPECT_TRUE(zt::HasLog("[ZELM] comp finit ok.", LORN_LEVEL_INFO, "ZELM_COMP_FInit"));

    const size_t logs = zt::PlainLog().size();
    ZELM_COMP_FInit(nullptr);
    EXPECT_EQ(zt::PlainLog().size(), logs);
}

TEST_F(CompModuleTest, EntriesNeedTheModuleStarted)
{
    StopLibrary();
    const ZelmCompInstCfg comp = zt::CompCfg(5, 1, 10, "comp");
    const ZelmCompNodeCfg type = zt::CompNodeCfg(10, "type");
    EXPECT_EQ(ZELM_ComponentProc(&comp, 0), 0xFFFFFFFFu);
    EXPECT_EQ(ZELM_CompNodeProc(&type, 0), 0xFFFFFFFFu);
    ZELM_ComponentDeleteByLoc(5);
    EXPECT_TRUE(zt::HasLog("ZELM Proc component table get compCb failed.", LORN_LEVEL_ERROR));
    EXPECT_TRUE(zt::HasLog("ZELM Proc compNode table get compCb failed.", LORN_LEVEL_ERROR));
    EXPECT_TRUE(zt::HasLog("ZELM delete component by locIndex get compCb failed.", LORN_LEVEL_ERROR,
                           "ZELM_ComponentDeleteByLoc"));
}

TEST_F(CompModuleTest, MessageReleaseFreesOnlyWhatIsSet)
{
    const ZelmCompInstCfg comp = zt::CompCfg(5, 1, 10, "comp");
    const ZelmCompNodeCfg type = zt::CompNodeCfg(10, "type");
    ZelComponentMsg entry{};
    ASSERT_EQ(ZelmSetZelCompNameMsg(&comp, &type, &entry), 0u);
    EXPECT_STREQ(entry.compInstName, "comp");
    EXPECT_STREQ(entry.compExtName, "ext");
    EXPECT_EQ(entry.compInst, 0u) << "texts only";
    ZelmFreeZelComponentMsg(&entry);
    ZelmFreeZelComponentMsg(&entry);
    EXPECT_EQ(entry.compTypeName, nullptr);

    const size_t live = STANDIN_HostLiveBlocks();
    ZelCompPublishReqMsg req = {5, 0, 0, 0, static_cast<ZelComponentMsg *>(ZELM_Malloc(sizeof(ZelComponentMsg)))};
    ASSERT_NE(req.compList, nullptr);
    ZelmCompDeepFreePublishReqMsg(&req);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), live);
    ZelmCompDeepFreePublishReqMsg(nullptr);
}

TEST_F(CompStartTest, TimerFailuresFailTheStart)
{
    // The LOCATION module makes its timer first: the COMP module's calls come second.
    struct Case {
        const char *platformFn;
        uint64_t nth;
        const char *line;
        uint64_t setAttrCalls;  // all four are set even when one fails
    };
    const Case cases[] = {
        {"QOF_TimerCreateAttr", 2, "[ZELM] comp init create smooth timer attr failed.", 4},
        {"QOF_TimerSetAttr", 5, "[ZELM] comp init set smooth timer attr failed.", 8},
        {"QOF_TimerCreate", 2, "[ZELM] comp init create smooth timer failed.", 8},
    };
    for (const Case &c : cases) {
        STANDIN_Reset();
        ASSERT_EQ(STANDIN_FailCall(c.platformFn, c.nth, 1), 0);
        EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0xFFFFFFFFu) << c.platformFn;
        EXPECT_TRUE(zt::HasLog(c.line, LORN_LEVEL_ERROR, "ZelmCompInitSmoothTimer")) << c.platformFn;
        EXPECT_TRUE(zt::HasLog("[ZELM] comp init failed. init smooth timer error.", LORN_LEVEL_ERROR, "ZELM_COMP_Init"));
        EXPECT_TRUE(zt::HasLog("zelm init, create mod 3 fail", LORN_LEVEL_ERROR));
        EXPECT_EQ(STANDIN_CallCount("QOF_TimerSetAttr"), c.setAttrCalls) << c.platformFn;
        EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u) << c.platformFn;
        ZELM_FInit();
        EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u) << c.platformFn;
        EXPECT_EQ(STANDIN_TimerAliveCount(), 0u) << c.platformFn;
    }
}

}  // namespace
