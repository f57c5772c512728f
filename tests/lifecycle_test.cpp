// Library start and stop: module slots, partial starts and their cleanup, memory hooks, restart.
#include <cstring>
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

constexpr uint32_t kClasses[ZELM_MSG_TABLE_NUM] = {ZELM_CLASS_LOCATION, ZELM_CLASS_LOGIC_LOC_GRP,
                                                   ZELM_CLASS_COMPONENT, ZELM_CLASS_COMP_NODE};

// Starts failing every host allocation once a given log body appears: the module
// that logs it has finished, so the next module is the first to go short.
struct FailAfterLog {
    const char *body;
    bool armed = false;
};

void ArmOnLog(const STANDIN_LogEvent *event, void *arg)
{
    auto *trigger = static_cast<FailAfterLog *>(arg);
    if (!trigger->armed && event->diagnostic == 0 && std::strcmp(event->body, trigger->body) == 0) {
        trigger->armed = true;
        STANDIN_HostFailFrom(1);
    }
}

// What was still in place when each module reported its stop.
struct StopWitness {
    std::vector<std::string> bodies;
    bool subscribedDuringStop = false;
};

void WatchStop(const STANDIN_LogEvent *event, void *arg)
{
    auto *w = static_cast<StopWitness *>(arg);
    if (event->diagnostic != 0) {
        return;
    }
    const std::string body = event->body;
    if (body.find("finit") != std::string::npos || body.find("Finit") != std::string::npos) {
        w->bodies.push_back(body);
        if (STANDIN_KormLocationSubscribed() != 0 || STANDIN_KormOsNodeSubscribed() != 0) {
            w->subscribedDuringStop = true;
        }
    }
}

size_t Count(const std::string &body, uint32_t level, const char *func)
{
    size_t n = 0;
    for (const zt::LogLine &l : zt::PlainLog()) {
        n += (l.body == body && l.level == level && l.func == func) ? 1 : 0;
    }
    return n;
}

using LifecycleTest = StandinTest;
using StartedLifecycleTest = ZelmTest;

TEST_F(LifecycleTest, StartFillsEverySlotSubscribesAndRegistersTheFourClasses)
{
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    ZelmLocalData *data = ZELM_GetLocalData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data, g_zelmLocalData);
    EXPECT_EQ(data->mallocFn, STANDIN_HostMalloc);
    EXPECT_EQ(data->freeFn, STANDIN_HostFree);

    const ZelmModInitFn inits[ZELM_MOD_NUM] = {ZELM_INFRA_Init, ZELM_LINK_Init, ZELM_LOCATION_Init, ZELM_COMP_Init};
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        EXPECT_NE(ZELM_GetModCb(id), nullptr) << "module " << id;
        EXPECT_EQ(data->mods[id].initFn, inits[id]) << "module " << id;
    }
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_INFRA), STANDIN_KormLocalData());
    EXPECT_NE(STANDIN_KormLocationSubscribed(), 0);

    ASSERT_NE(data->msgTable, nullptr);
    EXPECT_EQ(data->msgTableNum, ZELM_MSG_TABLE_NUM);
    const ZelmTableHandler handlers[ZELM_MSG_TABLE_NUM] = {ZELM_ProcTuvLocation, ZELM_ProcTuvLocLogicGrp,
                                                           ZELM_ProcTuvComponent, ZELM_ProcTuvCompNode};
    for (uint32_t i = 0; i < ZELM_MSG_TABLE_NUM; ++i) {
        EXPECT_EQ(data->msgTable[i].regArg, 0u);
        EXPECT_EQ(data->msgTable[i].classId, kClasses[i]);
        EXPECT_EQ(data->msgTable[i].handler, handlers[i]);
        void *userData = nullptr;
        EXPECT_EQ(STANDIN_UloHandler(kClasses[i], &userData), ZelmProcTuvTableMsg);
        EXPECT_EQ(userData, data);
    }

    ZELM_FInit();
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

TEST_F(LifecycleTest, StopThenStartAgainBuildsAFreshLibrary)
{
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    ZELM_FInit();
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
    EXPECT_EQ(STANDIN_KormLocationSubscribed(), 0);
    EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 0);

    const uint64_t allocsBefore = STANDIN_HostAllocCount();
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    EXPECT_GT(STANDIN_HostAllocCount(), allocsBefore);
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        EXPECT_NE(ZELM_GetModCb(id), nullptr) << "module " << id;
    }
    EXPECT_NE(STANDIN_KormLocationSubscribed(), 0);
    void *userData = nullptr;
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_COMPONENT, &userData), ZelmProcTuvTableMsg);
    EXPECT_EQ(userData, ZELM_GetLocalData());

    ZELM_FInit();
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

TEST_F(LifecycleTest, MissingHookIsRefusedEvenWhenStarted)
{
    EXPECT_EQ(ZELM_Init(nullptr, STANDIN_HostFree), ZELM_ERR);
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, nullptr), ZELM_ERR);
    EXPECT_EQ(Count("[ZELM]init failed. param is invalid.", LORN_LEVEL_ERROR, "ZELM_Init"), 2u);
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(STANDIN_HostAllocCount(), 0u);

    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    ZelmLocalData *data = ZELM_GetLocalData();
    STANDIN_LogClear();
    EXPECT_EQ(ZELM_Init(nullptr, nullptr), ZELM_ERR);
    EXPECT_EQ(Count("[ZELM]init failed. param is invalid.", LORN_LEVEL_ERROR, "ZELM_Init"), 1u);
    EXPECT_EQ(ZELM_GetLocalData(), data);
    EXPECT_EQ(data->mallocFn, STANDIN_HostMalloc);
    ZELM_FInit();
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

TEST_F(StartedLifecycleTest, SecondStartChangesNothing)
{
    ZelmLocalData *data = ZELM_GetLocalData();
    void *cbs[ZELM_MOD_NUM];
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        cbs[id] = ZELM_GetModCb(id);
    }
    STANDIN_LogClear();
    const uint64_t allocs = STANDIN_HostAllocCount();

    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    EXPECT_EQ(STANDIN_HostAllocCount(), allocs);
    EXPECT_EQ(ZELM_GetLocalData(), data);
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        EXPECT_EQ(ZELM_GetModCb(id), cbs[id]);
    }
    const std::vector<zt::LogLine> log = zt::PlainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].body, "[ZELM]init again ok.");
    EXPECT_EQ(log[0].level, LORN_LEVEL_INFO);
    EXPECT_EQ(log[0].func, "ZELM_Init");
}

TEST_F(LifecycleTest, FailingModuleTwoStopsTheStartAndTheStopCleansUp)
{
    FailAfterLog trigger{"[ZELM]init link ok."};
    STANDIN_LogSetObserver(ArmOnLog, &trigger);
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_ERR);
    STANDIN_LogSetObserver(nullptr, nullptr);
    STANDIN_HostFailFrom(0);
    ASSERT_TRUE(trigger.armed);

    const size_t modFail = zt::FindLog("zelm init, create mod 2 fail");
    ASSERT_NE(modFail, SIZE_MAX);
    EXPECT_TRUE(zt::HasLog("zelm init, create mod 2 fail", LORN_LEVEL_ERROR, "ZelmInitMods"));
    const size_t initFail = zt::FindLog("[ZELM]init failed. init modes error.", modFail);
    ASSERT_NE(initFail, SIZE_MAX) << "the start reports after the module";
    EXPECT_TRUE(zt::HasLog("[ZELM]init failed. init modes error.", LORN_LEVEL_ERROR, "ZELM_Init"));

    ZelmLocalData *data = ZELM_GetLocalData();
    ASSERT_NE(data, nullptr) << "the record stays published";
    EXPECT_NE(ZELM_GetModCb(ZELM_MOD_INFRA), nullptr);
    EXPECT_NE(ZELM_GetModCb(ZELM_MOD_LINK), nullptr);
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_LOCATION), nullptr);
    EXPECT_EQ(data->mods[ZELM_MOD_LOCATION].initFn, ZELM_LOCATION_Init);
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_COMP), nullptr);
    EXPECT_EQ(data->mods[ZELM_MOD_COMP].initFn, nullptr) << "module 3 was never started";
    auto *linkCb = static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK));
    EXPECT_EQ(linkCb->subList.next, &linkCb->subList) << "nobody subscribed to location links";
    EXPECT_EQ(STANDIN_TimerFind("ZelmCompSmooth"), nullptr);
    EXPECT_EQ(STANDIN_KormLocationSubscribed(), 0);
    EXPECT_EQ(data->msgTable, nullptr);
    EXPECT_EQ(data->msgTableNum, 0u);

    // A later start does not retry anything.
    STANDIN_LogClear();
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    EXPECT_TRUE(zt::HasLog("[ZELM]init again ok.", LORN_LEVEL_INFO, "ZELM_Init"));
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_LOCATION), nullptr);

    // The stop releases what did start, and only that.
    STANDIN_LogClear();
    ZELM_FInit();
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
    EXPECT_EQ(zt::CountLog("[ZELM]finit link ok."), 1u);
    EXPECT_EQ(zt::CountLog("[ZELM] locationInst finit ok."), 0u);
    EXPECT_EQ(zt::CountLog("[ZELM] comp finit ok."), 0u);
    EXPECT_EQ(Count("zelm Finit ok", LORN_LEVEL_ERROR, "ZelmFInitMods"), 1u);
}

TEST_F(LifecycleTest, MissingNodeStatusServiceFailsModuleZeroAndTheStopReleasesTheRecord)
{
    ASSERT_EQ(STANDIN_FailCall("KORM_GetLocalData", 1, 0), 0);
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_ERR);
    EXPECT_TRUE(zt::HasLog("zelm init, create mod 0 fail", LORN_LEVEL_ERROR, "ZelmInitMods"));
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        EXPECT_EQ(ZELM_GetModCb(id), nullptr) << "module " << id;
    }
    EXPECT_EQ(zt::CountLog("[ZELM]init link ok."), 0u);
    ZELM_FInit();
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

TEST_F(LifecycleTest, RefusedLocationStatusSubscriptionFailsTheStartBeforeRegistration)
{
    ASSERT_EQ(STANDIN_FailCall("KORM_SubLocationStatus", 1, 3), 0);
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_ERR);
    EXPECT_TRUE(zt::HasLog("[ZELM]init failed. subs location status error.", LORN_LEVEL_ERROR, "ZELM_Init"));
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        EXPECT_NE(ZELM_GetModCb(id), nullptr) << "module " << id << " stays started";
    }
    EXPECT_EQ(ZELM_GetLocalData()->msgTable, nullptr);
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_LOCATION, nullptr), nullptr);
    EXPECT_EQ(STANDIN_CallCount("QOF_UloServerSetClassidMsgHandler"), 0u);

    ZELM_FInit();
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

TEST_F(LifecycleTest, StopWithdrawsBothSubscriptionsThenStopsModulesInReverse)
{
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    ASSERT_NE(STANDIN_KormOsNodeSubscribed(), 0);
    ASSERT_NE(STANDIN_KormLocationSubscribed(), 0);
    STANDIN_LogClear();
    STANDIN_TimerEventClear();

    StopWitness witness;
    STANDIN_LogSetObserver(WatchStop, &witness);
    ZELM_FInit();
    STANDIN_LogSetObserver(nullptr, nullptr);

    EXPECT_EQ(witness.bodies, (std::vector<std::string>{"[ZELM] comp finit ok.", "[ZELM] locationInst finit ok.",
                                                        "[ZELM]finit link ok.", "zelm Finit ok"}));
    EXPECT_FALSE(witness.subscribedDuringStop);
    EXPECT_EQ(Count("zelm Finit ok", LORN_LEVEL_ERROR, "ZelmFInitMods"), 1u);
    EXPECT_EQ(zt::CountLog("zelm Finit ok"), 1u);

    // COMP's timer goes before LOCATION's.
    std::vector<std::string> destroyed;
    for (size_t i = 0; i < STANDIN_TimerEventCount(); ++i) {
        const STANDIN_TimerEvent *ev = STANDIN_TimerEventGet(i);
        if (ev->kind == STANDIN_TIMER_DESTROY) {
            destroyed.emplace_back(ev->name);
        }
    }
    EXPECT_EQ(destroyed, (std::vector<std::string>{"ZelmCompSmooth", "ZelmLocSmooth"}));
    EXPECT_EQ(STANDIN_TimerAliveCount(), 0u);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

TEST_F(LifecycleTest, StopWhileStoppedDoesNothing)
{
    ZELM_FInit();
    EXPECT_EQ(STANDIN_LogCount(), 0u);
    EXPECT_EQ(STANDIN_CallCount("KORM_DestroySubLocationStatus"), 0u);
    EXPECT_EQ(STANDIN_CallCount("KORM_DestroySubOsNodeStatusIntf"), 0u);
}

TEST_F(LifecycleTest, RegistryAndHooksAnswerNothingWhileStopped)
{
    for (uint32_t id = 0; id <= ZELM_MOD_NUM; ++id) {
        EXPECT_EQ(ZELM_GetModCb(id), nullptr);
    }
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(ZELM_Malloc(16), nullptr);
    ZELM_Free(reinterpret_cast<void *>(0x10));  // nothing to call: must not reach the host
    EXPECT_EQ(STANDIN_HostAllocCount(), 0u);
}

TEST_F(StartedLifecycleTest, RegistryAndHooksWhileStarted)
{
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_NUM), nullptr);
    EXPECT_EQ(ZELM_GetModCb(0xFFFFFFFFu), nullptr);

    const uint64_t allocs = STANDIN_HostAllocCount();
    EXPECT_EQ(ZELM_Malloc(0), nullptr);
    EXPECT_EQ(STANDIN_HostAllocCount(), allocs) << "size 0 never reaches the host";
    ZELM_Free(nullptr);

    const size_t blocks = STANDIN_HostLiveBlocks();
    void *p = ZELM_Malloc(24);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks + 1);
    ZELM_Free(p);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks);

    STANDIN_HostFailNth(1);
    EXPECT_EQ(ZELM_Malloc(8), nullptr);
}

}  // namespace
