// Library start and stop, the module registry, the memory hooks and the INFRA adapter.
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

using LifecycleTest = StoppedTest;
using StartedTest = ZelmTest;

// One failing call of a start, in the order the start makes them, and the functions that must report it.
struct StartFailure {
    const char *point;
    uint64_t nth;
    std::vector<const char *> reporters;  // each logs an error line
};

const std::vector<StartFailure> kStartFailures = {
    {"STANDIN_HostMalloc", 1, {"ZELM_Init"}},  // the library's record
    {"KORM_GetLocalData", 1, {"ZelmInitMods", "ZELM_Init"}},
    {"STANDIN_HostMalloc", 2, {"ZELM_LINK_Init", "ZelmInitMods", "ZELM_Init"}},  // LINK block, then its set
    {"STANDIN_HostMalloc", 3, {"ZELM_LINK_Init", "ZelmInitMods", "ZELM_Init"}},
    {"STANDIN_HostMalloc", 4, {"ZELM_LOCATION_Init", "ZelmInitMods", "ZELM_Init"}},  // LOCATION block, its sets
    {"KORM_SubOsNodeStatusIntf", 1, {"ZELM_LOCATION_Init", "ZelmInitMods"}},
    {"QOF_TimerCreateAttr", 1, {"ZelmLocInitSmoothTimer", "ZELM_LOCATION_Init"}},
    {"QOF_TimerSetAttr", 2, {"ZelmLocInitSmoothTimer", "ZELM_LOCATION_Init"}},
    {"QOF_TimerCreate", 1, {"ZelmLocInitSmoothTimer", "ZELM_LOCATION_Init"}},
    {"STANDIN_HostMalloc", 5, {"ZELM_LOCATION_Init", "ZelmInitMods"}},
    {"STANDIN_HostMalloc", 7, {"ZELM_LOCATION_Init", "ZelmInitMods"}},
    {"STANDIN_HostMalloc", 8, {"ZELM_COMP_Init", "ZelmInitMods", "ZELM_Init"}},  // COMP block, subscriber, sets
    {"STANDIN_HostMalloc", 9, {"ZELM_COMP_Init", "ZelmInitMods"}},
    {"QOF_TimerCreateAttr", 2, {"ZelmCompInitSmoothTimer", "ZELM_COMP_Init"}},
    {"QOF_TimerSetAttr", 8, {"ZelmCompInitSmoothTimer", "ZELM_COMP_Init"}},
    {"QOF_TimerCreate", 2, {"ZelmCompInitSmoothTimer", "ZELM_COMP_Init"}},
    {"STANDIN_HostMalloc", 10, {"ZELM_COMP_Init", "ZelmInitMods"}},
    {"STANDIN_HostMalloc", 11, {"ZELM_COMP_Init", "ZelmInitMods"}},
    {"KORM_SubLocationStatus", 1, {"ZELM_Init"}},
    {"STANDIN_HostMalloc", 12, {"ZELM_RegisterMsgTable"}},  // the message table
    {"memcpy_s", 1, {}},  // the copy of the message table, refused: no line of its own
    {"QOF_UloServerSetClassidMsgHandler", 3, {"ZELM_RegisterMsgTable"}},
};

TEST_F(LifecycleTest, EveryFailingStepFailsTheStartReportedOnItsWayUpAndTheStopReleasesWhatStarted)
{
    for (const StartFailure &f : kStartFailures) {
        const std::string what = std::string(f.point) + std::string(" #") + std::to_string(f.nth);
        STANDIN_Reset();
        ASSERT_EQ(STANDIN_FailCall(f.point, f.nth, 0), 0) << what;
        EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_ERR) << what;
        for (const char *func : f.reporters) {
            EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, func)) << what << ": nothing from " << func;
        }
        // A timer's four attributes are all set even when one fails.
        EXPECT_EQ(STANDIN_CallCount("QOF_TimerSetAttr") % 4, 0u) << what;
        EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u) << what;
        Stop();
    }
    // A refused registration keeps the classes before it; the stop releases the table only once.
    EXPECT_NE(STANDIN_UloHandler(ZELM_CLASS_LOGIC_LOC_GRP, nullptr), nullptr);
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_COMPONENT, nullptr), nullptr);
}

TEST_F(LifecycleTest, StartFillsEverySlotRegistersTheClassesAndMakesStoppedTimers)
{
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    ZelmLocalData *data = ZELM_GetLocalData();
    ASSERT_EQ(data, g_zelmLocalData);
    EXPECT_EQ(data->mallocFn, STANDIN_HostMalloc);
    EXPECT_EQ(data->freeFn, STANDIN_HostFree);
    const ZelmModInitFn inits[] = {ZELM_INFRA_Init, ZELM_LINK_Init, ZELM_LOCATION_Init, ZELM_COMP_Init};
    for (uint32_t id = 0; id < ZELM_MOD_NUM; ++id) {
        EXPECT_EQ(data->mods[id].initFn, inits[id]);
    }
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_INFRA), STANDIN_KormLocalData());
    const uint32_t classes[] = {ZELM_CLASS_LOCATION, ZELM_CLASS_LOGIC_LOC_GRP, ZELM_CLASS_COMPONENT,
                                ZELM_CLASS_COMP_NODE};
    const ZelmTableHandler handlers[] = {ZELM_ProcTuvLocation, ZELM_ProcTuvLocLogicGrp, ZELM_ProcTuvComponent,
                                         ZELM_ProcTuvCompNode};
    ASSERT_EQ(data->msgTableNum, ZELM_MSG_TABLE_NUM);
    for (uint32_t i = 0; i < ZELM_MSG_TABLE_NUM; ++i) {
        EXPECT_EQ(data->msgTable[i].regArg, 0u);
        EXPECT_EQ(data->msgTable[i].classId, classes[i]);
        EXPECT_EQ(data->msgTable[i].handler, handlers[i]);
        void *userData = nullptr;
        EXPECT_EQ(STANDIN_UloHandler(classes[i], &userData), ZelmProcTuvTableMsg);
        EXPECT_EQ(userData, data);
    }
    for (const char *func : {"ZELM_LINK_Init", "ZELM_LOCATION_Init", "ZELM_COMP_Init", "ZelmLocInitSmoothTimer",
                             "ZelmCompInitSmoothTimer"}) {
        EXPECT_TRUE(zt::Logged(LORN_LEVEL_INFO, func)) << func;
    }
    struct {
        const char *name;
        void *cb;
        QOF_TimerCallback tick;
    } timers[] = {{"ZelmLocSmooth", zt::LocCb(), ZelmLocSmoothTimerCbk},
                  {"ZelmCompSmooth", zt::CompCb(), ZelmCompSmoothTimerCbk}};
    for (const auto &t : timers) {
        const STANDIN_TimerInfo *info = STANDIN_TimerFind(t.name);
        ASSERT_NE(info, nullptr) << t.name;
        EXPECT_EQ(info->thHandle, ZELM_INFRA_GetThHandle());
        EXPECT_EQ(info->cbPair.callback, t.tick);
        EXPECT_EQ(info->cbPair.userData, t.cb);
        EXPECT_EQ(info->mode, 1u);
        EXPECT_EQ(info->interval, 5000u);
        EXPECT_EQ(info->nameLen, std::string(t.name).size());
        EXPECT_EQ(info->running, 0u);
    }
}

// What was in place when each module reported its stop.
void WatchStop(const STANDIN_LogEvent *event, void *arg)
{
    if (event->diagnostic == 0 && std::string(event->body).find("init") != std::string::npos) {
        const bool subscribed = STANDIN_KormLocationSubscribed() != 0 || STANDIN_KormOsNodeSubscribed() != 0;
        static_cast<std::vector<std::string> *>(arg)->push_back(std::string(event->funcName) +
                                                                (subscribed ? "+sub" : ""));
    }
}

TEST_F(StartedTest, StopWithdrawsTheSubscriptionsThenStopsTheModulesInReverseAndAStartAfterItBeginsAgain)
{
    const size_t from = STANDIN_LogCount();
    std::vector<std::string> stops;
    STANDIN_LogSetObserver(WatchStop, &stops);
    ZELM_FInit();
    STANDIN_LogSetObserver(nullptr, nullptr);
    EXPECT_EQ(stops,
              (std::vector<std::string>{"ZELM_COMP_FInit", "ZELM_LOCATION_FInit", "ZELM_LINK_FInit", "ZelmFInitMods"}));
    EXPECT_EQ(zt::Log(from).size(), 4u);
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, "ZelmFInitMods"));
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(STANDIN_TimerAliveCount(), 0u);

    const size_t stopped = STANDIN_LogCount();
    ZELM_FInit();
    EXPECT_EQ(STANDIN_LogCount(), stopped) << "a stopped library stops silently";
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    void *userData = nullptr;
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_COMPONENT, &userData), ZelmProcTuvTableMsg);
    EXPECT_EQ(userData, ZELM_GetLocalData());
}

TEST_F(StartedTest, SecondStartChangesNothingAndAMissingHookIsRefusedEvenThen)
{
    ZelmLocalData *data = ZELM_GetLocalData();
    const uint64_t allocs = STANDIN_CallCount("STANDIN_HostMalloc");
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_INFO, "ZELM_Init", "again"));
    EXPECT_EQ(ZELM_Init(nullptr, STANDIN_HostFree), ZELM_ERR);
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, nullptr), ZELM_ERR);
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, "ZELM_Init"));
    EXPECT_EQ(ZELM_GetLocalData(), data);
    EXPECT_EQ(STANDIN_CallCount("STANDIN_HostMalloc"), allocs);
}

TEST_F(LifecycleTest, RegistryAndMemoryHooksAnswerOnlyWhileStarted)
{
    EXPECT_EQ(ZELM_Init(nullptr, nullptr), ZELM_ERR);
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    for (uint32_t id = 0; id <= ZELM_MOD_NUM; ++id) {
        EXPECT_EQ(ZELM_GetModCb(id), nullptr);
    }
    EXPECT_EQ(ZELM_Malloc(16), nullptr);
    ZELM_Free(reinterpret_cast<void *>(0x10));  // nothing to call: must not reach the host

    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_NUM), nullptr);
    const uint64_t allocs = STANDIN_CallCount("STANDIN_HostMalloc");
    EXPECT_EQ(ZELM_Malloc(0), nullptr);
    EXPECT_EQ(STANDIN_CallCount("STANDIN_HostMalloc"), allocs) << "size 0 never reaches the host";
    const size_t blocks = STANDIN_HostLiveBlocks();
    void *p = ZELM_Malloc(1);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks + 1);
    ZELM_Free(p);
    ZELM_Free(nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks);
}

TEST_F(LifecycleTest, InfraReadsTheNodeStatusServiceAndTheHaRoleOnlyWhileStarted)
{
    const uint32_t agent = STANDIN_KormAddOsNode(1, 3, 0, 1);
    const uint32_t bare = STANDIN_KormAddOsNode(1, 4, 0, 0);
    EXPECT_EQ(ZELM_INFRA_IsCanPublish(), 0u);
    EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(agent), 0u);
    EXPECT_EQ(ZELM_INFRA_GetThHandle(), 0u);
    EXPECT_EQ(ZELM_INFRA_GetMemHandle(), 0u);

    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    KORM_LocalData *korm = STANDIN_KormLocalData();
    EXPECT_EQ(ZELM_INFRA_GetThHandle(), korm->thHandle);
    EXPECT_EQ(ZELM_INFRA_GetMemHandle(), korm->memHandle);
    EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(agent), STANDIN_KormServerHandle(agent));
    EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(bare), 0u);
    EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(0xABCDEFu), 0u);
    EXPECT_EQ(ZELM_INFRA_IsCanPublish(), 1u);
    for (const uint32_t role : {1u, 2u, 0xFFFFFFFFu}) {
        STANDIN_MirlSetHaRole(role);
        EXPECT_EQ(ZELM_INFRA_IsCanPublish(), 0u) << role;
    }
    // A location's status as the service last reported it, read through the adapter.
    uint32_t index = 0;
    uint32_t available = 0;
    STANDIN_KormRaiseLocationStatus(agent, "svc", 12, 1);
    STANDIN_RunDue();
    EXPECT_EQ(ZELM_INFRA_GetLoctionStatus(korm, agent, "svc", &index, &available), 0u);
    EXPECT_EQ(index * 10 + available, 121u);
    EXPECT_NE(ZELM_INFRA_GetLoctionStatus(korm, agent, "unknown", &index, &available), 0u);
}

}  // namespace
