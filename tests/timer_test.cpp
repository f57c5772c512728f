// QOF timers on the stand-in: attributes, periodic ticks, start, stop, destroy and the timer recorder.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/zelm_test.h"
#include "zelm_standin.h"

namespace {

constexpr uintptr_t kThread = 0x7A01;

// The host's side of a timer: counts ticks and can act on its own timer from inside the callback.
struct Host {
    int ticks = 0;
    std::vector<uint64_t> at;
    QOF_Timer *timer = nullptr;
    enum Action { None, Stop, Destroy, Restart } onTick = None;
};

uint32_t OnTick(QOF_Timer *timer, void *reserved, void *userData)
{
    auto *host = static_cast<Host *>(userData);
    EXPECT_EQ(timer, host->timer);
    EXPECT_EQ(reserved, nullptr);
    ++host->ticks;
    host->at.push_back(STANDIN_Now());
    switch (host->onTick) {
    case Host::Stop: (void)QOF_TimerStop(timer); break;
    case Host::Destroy: (void)QOF_TimerDestroy(timer); break;
    case Host::Restart: (void)QOF_TimerStop(timer); (void)QOF_TimerStart(timer); break;
    case Host::None: break;
    }
    return 0;
}

class TimerTest : public StandinTest {
protected:
    // Makes a timer the way a module does: four attributes, create, destroy the attribute set.
    QOF_Timer *Make(const char *name, uint32_t interval = 5000, uint32_t mode = 1)
    {
        QOF_TimerAttr *attr = QOF_TimerCreateAttr();
        EXPECT_NE(attr, nullptr);
        QOF_TimerCbPair pair{OnTick, &host_};
        uint32_t rc = QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_CALLBACK, &pair, 16);
        rc |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_MODE, &mode, 4);
        rc |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_INTERVAL, &interval, 4);
        rc |= QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_NAME, name, static_cast<uint32_t>(std::strlen(name)));
        EXPECT_EQ(rc, 0u);
        QOF_Timer *t = QOF_TimerCreate(kThread, attr);
        QOF_TimerDestroyAttr(attr);
        host_.timer = t;
        return t;
    }
    std::vector<STANDIN_TimerEventKind> Kinds()
    {
        std::vector<STANDIN_TimerEventKind> kinds;
        for (size_t i = 0; i < STANDIN_TimerEventCount(); ++i) {
            kinds.push_back(STANDIN_TimerEventGet(i)->kind);
        }
        return kinds;
    }
    Host host_;
};

TEST_F(TimerTest, CreateCopiesTheAttributes)
{
    QOF_Timer *t = Make("ZelmLocSmooth");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u);
    const STANDIN_TimerInfo *info = STANDIN_TimerFind("ZelmLocSmooth");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->thHandle, kThread);
    EXPECT_EQ(info->cbPair.callback, &OnTick);
    EXPECT_EQ(info->cbPair.userData, &host_);
    EXPECT_EQ(info->mode, 1u);
    EXPECT_EQ(info->interval, 5000u);
    EXPECT_EQ(info->nameLen, 13u);
    EXPECT_STREQ(info->name, "ZelmLocSmooth");
    EXPECT_EQ(info->running, 0u);
    EXPECT_EQ(info->alive, 1u);
    EXPECT_EQ(STANDIN_TimerAliveCount(), 1u);
    EXPECT_EQ(STANDIN_PendingSteps(), 0u) << "a created timer is stopped";
}

TEST_F(TimerTest, AttributesWithTheWrongLengthAreRefused)
{
    QOF_TimerAttr *attr = QOF_TimerCreateAttr();
    QOF_TimerCbPair pair{OnTick, &host_};
    uint32_t v = 1;
    EXPECT_NE(QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_CALLBACK, &pair, 8), 0u);
    EXPECT_NE(QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_MODE, &v, 8), 0u);
    EXPECT_NE(QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_INTERVAL, &v, 2), 0u);
    EXPECT_NE(QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_NAME, "x", 0), 0u);
    EXPECT_NE(QOF_TimerSetAttr(attr, 4, &v, 4), 0u);
    EXPECT_EQ(QOF_TimerCreate(kThread, attr), nullptr) << "a timer needs its callback";
    QOF_TimerDestroyAttr(attr);
}

TEST_F(TimerTest, AStartedTimerTicksEveryInterval)
{
    QOF_Timer *t = Make("ZelmCompSmooth");
    ASSERT_EQ(QOF_TimerStart(t), 0u);
    STANDIN_RunFor(25000);
    EXPECT_EQ(host_.ticks, 5);
    EXPECT_EQ(host_.at, (std::vector<uint64_t>{5000, 10000, 15000, 20000, 25000}));
}

TEST_F(TimerTest, StartOnARunningTimerKeepsItsPeriod)
{
    QOF_Timer *t = Make("ZelmLocSmooth");
    ASSERT_EQ(QOF_TimerStart(t), 0u);
    STANDIN_RunFor(3000);
    ASSERT_EQ(QOF_TimerStart(t), 0u);
    STANDIN_RunFor(2000);
    EXPECT_EQ(host_.at, (std::vector<uint64_t>{5000})) << "a second Start must not postpone the tick";
    ASSERT_GE(STANDIN_TimerEventCount(), 3u);
    EXPECT_EQ(STANDIN_TimerEventGet(1)->kind, STANDIN_TIMER_START);
    EXPECT_EQ(STANDIN_TimerEventGet(1)->wasRunning, 0u);
    EXPECT_EQ(STANDIN_TimerEventGet(2)->kind, STANDIN_TIMER_START);
    EXPECT_EQ(STANDIN_TimerEventGet(2)->wasRunning, 1u);
    EXPECT_EQ(STANDIN_PendingSteps(), 1u) << "one pending tick per running timer";
}

TEST_F(TimerTest, StopEndsTheTicksAndStopOnAStoppedTimerDoesNothing)
{
    QOF_Timer *t = Make("ZelmLocSmooth");
    QOF_TimerStart(t);
    STANDIN_RunFor(5000);
    ASSERT_EQ(QOF_TimerStop(t), 0u);
    STANDIN_RunFor(20000);
    EXPECT_EQ(host_.ticks, 1);
    EXPECT_EQ(QOF_TimerStop(t), 0u);
    EXPECT_EQ(STANDIN_TimerEventGet(STANDIN_TimerEventCount() - 1)->wasRunning, 0u);
    EXPECT_EQ(STANDIN_PendingSteps(), 0u);
    EXPECT_EQ(STANDIN_TimerFind("ZelmLocSmooth")->running, 0u);
}

TEST_F(TimerTest, StartAfterStopBeginsAFreshPeriod)
{
    QOF_Timer *t = Make("ZelmLocSmooth");
    QOF_TimerStart(t);
    STANDIN_RunFor(4000);
    QOF_TimerStop(t);
    QOF_TimerStart(t);
    STANDIN_RunFor(10000);
    EXPECT_EQ(host_.at, (std::vector<uint64_t>{9000, 14000}));
}

TEST_F(TimerTest, DestroyedTimerNeverTicksAgainAlthoughATickWasDue)
{
    QOF_Timer *t = Make("ZelmCompSmooth");
    QOF_TimerStart(t);
    STANDIN_RunFor(4999);
    ASSERT_EQ(QOF_TimerDestroy(t), 0u);
    STANDIN_RunFor(30000);
    EXPECT_EQ(host_.ticks, 0);
    EXPECT_EQ(STANDIN_TimerAliveCount(), 0u);
    EXPECT_EQ(STANDIN_TimerFind("ZelmCompSmooth")->alive, 0u);
    EXPECT_NE(QOF_TimerStart(t), 0u) << "a destroyed timer is refused";
    EXPECT_NE(QOF_TimerDestroy(t), 0u);
    EXPECT_EQ(STANDIN_PendingSteps(), 0u);
}

TEST_F(TimerTest, TimerStoppedFromItsOwnTickTicksOnce)
{
    host_.onTick = Host::Stop;
    QOF_TimerStart(Make("ZelmLocSmooth"));
    STANDIN_RunFor(30000);
    EXPECT_EQ(host_.ticks, 1);
}

TEST_F(TimerTest, TimerDestroyedFromItsOwnTickTicksOnce)
{
    host_.onTick = Host::Destroy;
    QOF_TimerStart(Make("ZelmLocSmooth"));
    STANDIN_RunFor(30000);
    EXPECT_EQ(host_.ticks, 1);
    EXPECT_EQ(STANDIN_PendingSteps(), 0u);
}

TEST_F(TimerTest, TimerRestartedFromItsOwnTickKeepsOnePeriod)
{
    host_.onTick = Host::Restart;
    QOF_TimerStart(Make("ZelmLocSmooth"));
    STANDIN_RunFor(15000);
    EXPECT_EQ(host_.at, (std::vector<uint64_t>{5000, 10000, 15000}));
    EXPECT_EQ(STANDIN_PendingSteps(), 1u);
}

TEST_F(TimerTest, RunningTimerDoesNotHangRunUntilIdle)
{
    QOF_TimerStart(Make("ZelmLocSmooth"));
    EXPECT_EQ(STANDIN_RunUntilIdle(4), 4u);
    EXPECT_EQ(host_.ticks, 4);
    EXPECT_EQ(STANDIN_Now(), 20000u);
}

TEST_F(TimerTest, RecorderTellsEveryCallInOrder)
{
    QOF_Timer *t = Make("ZelmLocSmooth");
    QOF_TimerStart(t);
    STANDIN_RunFor(5000);
    QOF_TimerStop(t);
    QOF_TimerDestroy(t);
    EXPECT_EQ(Kinds(), (std::vector<STANDIN_TimerEventKind>{STANDIN_TIMER_CREATE, STANDIN_TIMER_START,
                                                             STANDIN_TIMER_TICK, STANDIN_TIMER_STOP,
                                                             STANDIN_TIMER_DESTROY}));
    const STANDIN_TimerEvent *tick = STANDIN_TimerEventGet(2);
    EXPECT_EQ(tick->timerId, 1u);
    EXPECT_EQ(tick->timeMs, 5000u);
    EXPECT_STREQ(tick->name, "ZelmLocSmooth");
    EXPECT_EQ(STANDIN_TimerEventGet(3)->wasRunning, 1u);
}

TEST_F(TimerTest, NameKeepsTheGivenLength)
{
    QOF_TimerAttr *attr = QOF_TimerCreateAttr();
    QOF_TimerCbPair pair{OnTick, &host_};
    QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_CALLBACK, &pair, 16);
    ASSERT_EQ(QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_NAME, "ZelmLocSmoothXYZ", 13), 0u);
    ASSERT_NE(QOF_TimerCreate(kThread, attr), nullptr);
    QOF_TimerDestroyAttr(attr);
    ASSERT_NE(STANDIN_TimerFind("ZelmLocSmooth"), nullptr);
    EXPECT_EQ(STANDIN_TimerFind("ZelmLocSmooth")->nameLen, 13u);
    EXPECT_EQ(STANDIN_TimerFind("ZelmLocSmoothXYZ"), nullptr);
}

TEST_F(TimerTest, InjectedFailuresRefuseAndRecordNothing)
{
    ASSERT_EQ(STANDIN_FailCall("QOF_TimerCreate", 1, 0), 0);
    EXPECT_EQ(Make("ZelmLocSmooth"), nullptr);
    EXPECT_EQ(STANDIN_TimerEventCount(), 0u);
    QOF_Timer *t = Make("ZelmLocSmooth");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(STANDIN_FailCall("QOF_TimerStart", 1, 9), 0);
    EXPECT_EQ(QOF_TimerStart(t), 9u);
    EXPECT_EQ(STANDIN_TimerFind("ZelmLocSmooth")->running, 0u);
    ASSERT_EQ(STANDIN_FailAlways("QOF_TimerSetAttr", 4), 0);
    uint32_t v = 1;
    QOF_TimerAttr *attr = QOF_TimerCreateAttr();
    EXPECT_EQ(QOF_TimerSetAttr(attr, QOF_TIMER_ATTR_MODE, &v, 4), 4u);
    QOF_TimerDestroyAttr(attr);
    EXPECT_EQ(STANDIN_CallCount("QOF_TimerCreate"), 2u);
    EXPECT_EQ(STANDIN_CallCount("QOF_TimerStart"), 1u);
    EXPECT_NE(STANDIN_FailCall("QOF_TimerDestroyAttr", 1, 1), 0) << "a release has no status to fail with";
}

TEST_F(TimerTest, ResetDropsLiveTimersWithoutACallback)
{
    QOF_TimerStart(Make("ZelmLocSmooth"));
    (void)QOF_TimerCreateAttr();
    STANDIN_Reset();
    STANDIN_RunFor(30000);
    EXPECT_EQ(host_.ticks, 0);
    EXPECT_EQ(STANDIN_TimerAliveCount(), 0u);
    EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u);
    EXPECT_EQ(STANDIN_TimerEventCount(), 0u);
}

} // namespace
