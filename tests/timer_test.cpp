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

} // namespace
