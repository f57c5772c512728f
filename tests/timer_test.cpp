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

TEST_F(TimerTest, AStartedTimerTicksEveryIntervalUntilStopped)
{
    QOF_Timer *t = Make("ZelmCompSmooth");
    ASSERT_EQ(QOF_TimerStart(t), 0u);
    STANDIN_RunFor(25000);
    EXPECT_EQ(host_.at, (std::vector<uint64_t>{5000, 10000, 15000, 20000, 25000}));
    ASSERT_EQ(QOF_TimerStop(t), 0u);
    STANDIN_RunFor(20000);
    EXPECT_EQ(host_.ticks, 5);
    EXPECT_EQ(STANDIN_PendingSteps(), 0u);
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
    EXPECT_EQ(STANDIN_TimerEventGet(2)->wasRunning, 1u);
    EXPECT_EQ(STANDIN_PendingSteps(), 1u) << "one pending tick per running timer";
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
    EXPECT_NE(QOF_TimerStart(t), 0u) << "a destroyed timer is refused";
    EXPECT_EQ(STANDIN_PendingSteps(), 0u);
}

TEST_F(TimerTest, TimerActedOnFromItsOwnTick)
{
    const struct {
        Host::Action action;
        std::vector<uint64_t> at;
        size_t pending;
    } cases[] = {
        {Host::Stop, {5000}, 0},
        {Host::Destroy, {5000}, 0},
        {Host::Restart, {5000, 10000, 15000}, 1},
    };
    for (const auto &c : cases) {
        STANDIN_Reset();
        host_ = {};
        host_.onTick = c.action;
        QOF_TimerStart(Make("ZelmLocSmooth"));
        STANDIN_RunFor(15000);
        EXPECT_EQ(host_.at, c.at) << c.action;
        EXPECT_EQ(STANDIN_PendingSteps(), c.pending) << c.action;
    }
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
    EXPECT_STREQ(STANDIN_TimerEventGet(2)->name, "ZelmLocSmooth");
}

} // namespace
