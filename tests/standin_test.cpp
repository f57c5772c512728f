// The stand-in's own contract where the library cannot reach it: host allocator, timers, configuration server, KORM, LORN.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "zelm_standin.h"

namespace {

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override { STANDIN_Reset(); }
    void TearDown() override { STANDIN_Reset(); }
};

using HostAllocTest = StandinTest;
using TimerTest = StandinTest;
using UloServerTest = StandinTest;
using KormTest = StandinTest;
using LornTest = StandinTest;

TEST_F(HostAllocTest, CountsWhatItHandsOutAndFillsNewBlocksWithGarbageOnlyWhenAsked)
{
    const size_t blocks = STANDIN_HostLiveBlocks();
    const size_t bytes = STANDIN_HostLiveBytes();
    void *a = STANDIN_HostMalloc(100);
    void *b = STANDIN_HostMalloc(50);
    STANDIN_HostFree(a);
    EXPECT_EQ(STANDIN_HostLiveBytes(), bytes + 50);
    EXPECT_EQ(STANDIN_HostPeakBytes(), bytes + 150);
    STANDIN_Reset();
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks + 1) << "a reset keeps the blocks still out there";
    EXPECT_EQ(STANDIN_HostPeakBytes(), bytes + 50) << "the peak starts again from what is live";

    std::vector<unsigned char> garbage[2];
    for (auto &seen : garbage) {
        STANDIN_Reset();
        STANDIN_HostFillWithGarbage(1);
        auto *c = static_cast<unsigned char *>(STANDIN_HostMalloc(64));
        seen.assign(c, c + 64);
        STANDIN_HostFree(c);
    }
    EXPECT_NE(garbage[0], std::vector<unsigned char>(64, 0));
    EXPECT_EQ(garbage[0], garbage[1]) << "every reset restarts the sequence";
    ASSERT_EQ(STANDIN_FailCall("STANDIN_HostMalloc", 1, 0), 0);
    EXPECT_EQ(STANDIN_HostMalloc(8), nullptr);
    EXPECT_EQ(STANDIN_CallCount("STANDIN_HostMalloc"), 2u) << "attempts count, failed ones too";
    STANDIN_HostFree(b);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks);
}

std::map<const void *, std::vector<uint64_t>> g_ticks;  // tick times per user data

uint32_t OnTick(QOF_Timer *, void *, void *userData)
{
    g_ticks[userData].push_back(STANDIN_Now());
    return 0;
}

QOF_Timer *MakeTimer(const void *user, uint32_t mode, uint32_t interval, uintptr_t thHandle = 1)
{
    QOF_TimerAttr *attr = QOF_TimerCreateAttr();
    const QOF_TimerCbPair pair = {OnTick, const_cast<void *>(user)};
    EXPECT_EQ(QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_CALLBACK, &pair, sizeof(pair)) |
                  QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_MODE, &mode, 4) |
                  QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_INTERVAL, &interval, 4) |
                  QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_NAME, "t", 1),
              0u);
    QOF_Timer *timer = QOF_TimerCreate(thHandle, attr);
    QOF_TimerDestroyAttr(attr);
    return timer;
}

// Each timer is started at 0 and again at 3; the loop runs to 12 ms.
TEST_F(TimerTest, StartedTimersTickByTheirModeAndIntervalUntilStoppedOrDestroyed)
{
    g_ticks.clear();
    const struct {
        const char *what;
        uint32_t mode;
        uint32_t interval;
        std::vector<uint64_t> ticks;
    } cases[] = {
        {"periodic", 1, 5, {5, 10}},
        {"any other mode ticks once", 2, 5, {5}},
        {"interval 0 runs as 1 ms", 1, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
    };
    std::vector<QOF_Timer *> timers;
    for (const auto &c : cases) {
        timers.push_back(MakeTimer(&c, c.mode, c.interval));
        ASSERT_EQ(QOF_TimerStart(timers.back()), 0u);
    }
    const int stoppedOne = 0;
    const int destroyedOne = 0;
    EXPECT_EQ(QOF_TimerStop(MakeTimer(&stoppedOne, 1, 5)), 0u) << "stopping a stopped timer does nothing";
    QOF_Timer *destroyed = MakeTimer(&destroyedOne, 1, 5);
    EXPECT_EQ(QOF_TimerStart(destroyed), 0u);
    STANDIN_RunUntil(3);
    for (QOF_Timer *timer : timers) {
        EXPECT_EQ(QOF_TimerStart(timer), 0u) << "starting a running timer does not postpone its tick";
    }
    EXPECT_EQ(QOF_TimerDestroy(destroyed), 0u);
    STANDIN_RunUntil(12);
    for (const auto &c : cases) {
        EXPECT_EQ(g_ticks[&c], c.ticks) << c.what;
    }
    EXPECT_EQ(g_ticks.count(&stoppedOne) + g_ticks.count(&destroyedOne), 0u) << "nor a destroyed one, though due";
    EXPECT_NE(QOF_TimerStart(destroyed), 0u);
    EXPECT_EQ(MakeTimer(&stoppedOne, 1, 5, 0), nullptr) << "no thread handle";
    QOF_TimerAttr *noCallback = QOF_TimerCreateAttr();
    EXPECT_EQ(QOF_TimerCreate(1, noCallback), nullptr);
    EXPECT_NE(QOF_TimerSetAttr(noCallback, QOF_TIMER_ATTR_MODE, "", 2), 0u) << "a u32 has 4 bytes";
    QOF_TimerDestroyAttr(noCallback);
}

std::vector<std::string> g_heard;  // what the handlers and subscribers below were told

uint32_t OnTable(void *userData, QOF_Msg *msg, QOF_RecordCtx *recordCtx)
{
    std::string heard = std::to_string(QOF_GetBlockNum(msg)) + " atoms";
    QOF_Atom *atom = nullptr;
    while (QOF_GetNextAtom(msg, &atom) == 0) {
        void *rec = nullptr;
        uint32_t classId = 0;
        (void)QOF_GetClassId(atom, &classId);
        (void)QOF_GetRecData(atom, &rec);
        const auto *bytes = static_cast<const char *>(rec);
        const uint32_t len = STANDIN_ClassRecordLen(classId);
        heard += ", " + std::string(bytes, 2) + (std::count(bytes + 2, bytes + len, 0) == len - 2 ? " padded" : "");
    }
    QOF_Msg *reply = nullptr;
    EXPECT_EQ(QOF_CreateMsg(msg, 3, &reply), 0u);
    EXPECT_EQ(QOF_AddRetCode(&reply, 9), 0u);
    EXPECT_EQ(QOF_UloServerAddRecord(recordCtx, reply), 0u);
    QOF_FreeMsg(reply);
    QOF_FreeMsg(msg);  // not a reply: counted, left alone
    g_heard.push_back(heard);
    return *static_cast<uint32_t *>(userData);
}

// A message runs its handler once, as a loop step when posted; its record reads zero-padded to the class's length.
TEST_F(UloServerTest, MessagesReachTheHandlerOfTheirClassPostedOrAtOnceAndTheirRepliesAreRecorded)
{
    g_heard.clear();
    uint32_t result = 7;
    const uint32_t classId = 0x4D30A031u;  // logic groups: 24-byte records
    ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(classId, 0, OnTable, &result), 0u);
    const auto message = [classId](const char *record) {
        STANDIN_Msg *msg = STANDIN_MsgNew();
        STANDIN_MsgAddAtom(msg, classId, 0, 1, record, 2);
        return msg;
    };
    ASSERT_EQ(STANDIN_MsgPost(message("ab")), 0u);
    EXPECT_TRUE(g_heard.empty()) << "a posted message waits for the loop";
    EXPECT_EQ(STANDIN_RunDue(), 1u);
    uint32_t handlerResult = 0;
    EXPECT_EQ(STANDIN_MsgDeliverNow(message("cd"), &handlerResult), 0u);
    EXPECT_EQ(handlerResult, 7u);
    EXPECT_EQ(g_heard, (std::vector<std::string>{"1 atoms, ab padded", "1 atoms, cd padded"}));
    ASSERT_EQ(STANDIN_ReplyCount(), 2u);
    const STANDIN_Reply *reply = STANDIN_ReplyGet(1);
    EXPECT_EQ(std::vector<uint32_t>(
                  {reply->handedBack, reply->hasRetCode, reply->retCode, reply->handlerResult, reply->createKind}),
              std::vector<uint32_t>({1, 1, 9, 7, 3}));
    EXPECT_EQ(STANDIN_MsgAliveCount(), 0u);
    EXPECT_EQ(STANDIN_MsgBadFreeCount(), 2u);
    ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(classId, 0, nullptr, nullptr), 0u);
    EXPECT_NE(STANDIN_MsgPost(message("ef")), 0u) << "no handler: refused and released";
    EXPECT_NE(STANDIN_MsgDeliverNow(message("gh"), nullptr), 0u);
    EXPECT_EQ(g_heard.size(), 2u);
}

uint32_t OnLink(uint32_t osNodeId, const uint32_t *position, uint32_t up, void *)
{
    g_heard.push_back(std::to_string(osNodeId) + (up != 0 ? " up at " : " down at ") + std::to_string(position[1]));
    return 0;
}

void OnStatus(uint32_t osNodeId, const char *service, uint32_t locIndex, uint32_t available, void *)
{
    g_heard.push_back(std::to_string(osNodeId) + " " + service + " " + std::to_string(locIndex) + "/" +
                      std::to_string(available));
}

// Reports are delivered by the loop to the subscriber of the moment; a node declared again keeps its agent.
TEST_F(KormTest, ReportsReachTheSubscriberOfTheMomentAndNodesKeepTheirAgents)
{
    g_heard.clear();
    KORM_LocalData *korm = KORM_GetLocalData();
    ASSERT_EQ(korm, STANDIN_KormLocalData());
    const uint32_t node = STANDIN_KormAddOsNode(0, 5, 0, 1);
    const QOF_ConnHandle agent = STANDIN_KormServerHandle(node);
    ASSERT_EQ(KORM_SubOsNodeStatusIntf(korm, OnLink, nullptr) | KORM_SubLocationStatus(korm, OnStatus, nullptr), 0u);
    ASSERT_EQ(STANDIN_KormRaiseOsNodeLink(node, 1), 0);
    STANDIN_KormRaiseLocationStatus(node, "svc", 4, 1);
    EXPECT_TRUE(g_heard.empty()) << "reports are loop steps";
    STANDIN_RunDue();
    EXPECT_NE(STANDIN_KormRaiseOsNodeLink(0xABCDEF, 1), 0) << "an unknown node";
    uint32_t index = 0;
    uint32_t available = 0;
    EXPECT_EQ(KORM_GetLocationStatus(korm, node, "svc", &index, &available), 0u);
    EXPECT_EQ(index * 10 + available, 41u);
    EXPECT_NE(KORM_GetLocationStatus(korm, node, "other", &index, &available), 0u);
    EXPECT_EQ(KORM_FindKorbCb(node, korm)->serverHandle, agent);
    KORM_LocalData foreign = *korm;
    EXPECT_EQ(KORM_FindKorbCb(node, &foreign), nullptr);
    EXPECT_EQ(STANDIN_KormAddOsNode(0, 5, 0, 0), node);
    EXPECT_EQ(KORM_FindKorbCb(node, korm), nullptr) << "declared without agent";
    (void)STANDIN_KormAddOsNode(0, 5, 0, 1);
    EXPECT_EQ(STANDIN_KormServerHandle(node), agent) << "the same agent again";
    ASSERT_EQ(STANDIN_KormRaiseOsNodeLink(node, 0), 0);
    ASSERT_EQ(KORM_DestroySubOsNodeStatusIntf(korm) | KORM_DestroySubLocationStatus(korm), 0u);
    STANDIN_RunDue();
    EXPECT_EQ(g_heard, (std::vector<std::string>{"5 up at 5", "5 svc 4/1"})) << "none after the withdrawal";
}

// The recorder keeps both writes of an event; a text sink writes the plain one; a count sink keeps nothing.
TEST_F(LornTest, SinksRecordWriteOrCountTheEvents)
{
    (void)STANDIN_RunFor(12500);
    (void)LORN_LogWrite(LORN_LEVEL_INFO, 0, 0, "%s:body %u", "Func", 7u);
    (void)LORN_DLogWrite(0x80cf0026u, LORN_LEVEL_ERROR, "[%#x]%s:body %u", 0xFFFFFFFFu, "Func", 7u);
    ASSERT_EQ(STANDIN_LogCount(), 2u);
    const STANDIN_LogEvent *diag = STANDIN_LogGet(1);
    EXPECT_EQ(std::string(diag->line), "[0xffffffff]Func:body 7");
    EXPECT_EQ(std::string(diag->body), "body 7");
    EXPECT_EQ(diag->modId + diag->code, 0x80cf0026u + 0xFFFFFFFFu);
    EXPECT_EQ(diag->timeMs, 12500u);
    std::FILE *text = std::tmpfile();
    ASSERT_NE(text, nullptr);
    STANDIN_LogSetSink(STANDIN_LOG_TEXT, text);
    (void)LORN_LogWrite(7, 0, 0, "%s:seven", "Func");
    (void)LORN_DLogWrite(0x80cf0026u, 7, "[%#x]%s:seven", 0u, "Func");
    STANDIN_LogSetSink(STANDIN_LOG_COUNT, nullptr);
    (void)LORN_LogWrite(LORN_LEVEL_ERROR, 0, 0, "%s:counted", "Func");
    EXPECT_EQ(STANDIN_LogCount(), 2u);
    EXPECT_EQ(STANDIN_LogTotal(), 5u);
    char line[64] = "";
    std::rewind(text);
    EXPECT_NE(std::fgets(line, sizeof(line), text), nullptr);
    EXPECT_EQ(std::string(line), "000012.500 7     Func: seven\n");
    EXPECT_EQ(std::fgets(line, sizeof(line), text), nullptr) << "the diagnostic write is not written twice";
    std::fclose(text);
}

}  // namespace
