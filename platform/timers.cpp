// QOF timers on the virtual clock: attribute sets, periodic timers and the timer recorder.
//
// A started timer has exactly one tick posted on the loop. Its first tick
// comes one interval after Start, then one every interval until Stop or
// Destroy. Start on a running timer keeps the current period (it does not
// re-arm), so repeated Start calls cannot postpone the next tick; Stop on a
// stopped timer does nothing. A destroyed timer is unlinked from the loop and
// never ticks again; its record (and so its handle) stays known until reset,
// so that a late call on it is refused instead of touching freed memory.
// Mode 1 is periodic; any other mode ticks once. An interval of 0 runs as 1 ms.
// A timer needs a non-zero thread handle and an attribute set with a callback.
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

struct QOF_TimerAttr {
    bool hasCallback = false;
    QOF_TimerCbPair cbPair{};
    uint32_t mode = 0;
    uint32_t interval = 0;
    uint32_t nameLen = 0;
    std::string name;
};

struct QOF_Timer {
    STANDIN_TimerInfo info{};
    std::string name;
    standin::StepId tick = 0;  // the posted tick while running
};

namespace standin {
namespace {

constexpr uint32_t kRefused = 0xFFFFFFFFu;
constexpr uint32_t kMaxNameLen = 255;

std::set<QOF_TimerAttr *> g_attrs;                 // live attribute sets, owned here
std::vector<std::unique_ptr<QOF_Timer>> g_timers;  // every timer since reset, in creation order
std::set<const QOF_Timer *> g_known;
std::deque<STANDIN_TimerEvent> g_events;

void Record(STANDIN_TimerEventKind kind, const QOF_Timer *t, uint32_t wasRunning)
{
    g_events.push_back(STANDIN_TimerEvent{kind, ClockNow(), t->info.timerId, wasRunning, t->name.c_str()});
}

QOF_Timer *Known(QOF_Timer *timer)
{
    return g_known.count(timer) != 0 ? timer : nullptr;
}

uint64_t Period(const QOF_Timer *t)
{
    return t->info.interval == 0 ? 1 : t->info.interval;
}

void Tick(void *arg);

void Arm(QOF_Timer *t)
{
    t->tick = LoopPostAt(ClockNow() + Period(t), &Tick, t);
}

void Tick(void *arg)
{
    auto *t = static_cast<QOF_Timer *>(arg);
    t->tick = 0;
    if (t->info.alive == 0 || t->info.running == 0) {
        return;
    }
    if (t->info.mode != 1) {
        t->info.running = 0;
    }
    Record(STANDIN_TIMER_TICK, t, 1);
    if (t->info.cbPair.callback != nullptr) {
        STANDIN_Entry what{};
        what.kind = STANDIN_ENTRY_TIMER_TICK;
        what.timerId = t->info.timerId;
        what.name = t->info.name;
        const EntryScope entry(what);
        (void)t->info.cbPair.callback(t, nullptr, t->info.cbPair.userData);
    }
    // The callback may have stopped, restarted or destroyed the timer: re-arm only an untouched one.
    if (t->info.alive != 0 && t->info.running != 0 && t->tick == 0) {
        Arm(t);
    }
}

}  // namespace

void ResetTimers()
{
    for (const auto &t : g_timers) {
        if (t->tick != 0) {
            (void)LoopCancel(t->tick);
        }
    }
    g_timers.clear();
    g_known.clear();
    for (QOF_TimerAttr *a : g_attrs) {
        delete a;
    }
    g_attrs.clear();
    g_events.clear();
}
}  // namespace standin

extern "C" QOF_TimerAttr *QOF_TimerCreateAttr(void)
{
    STANDIN_FAIL_POINT(nullptr);
    auto *attr = new QOF_TimerAttr;
    standin::g_attrs.insert(attr);
    return attr;
}

extern "C" uint32_t QOF_TimerSetAttr(QOF_TimerAttr *attr, uint32_t id, const void *value, uint32_t len)
{
    STANDIN_FAIL_POINT(failStatus);
    if (attr == nullptr || standin::g_attrs.count(attr) == 0 || value == nullptr) {
        return standin::kRefused;
    }
    switch (id) {
    case QOF_TIMER_ATTR_CALLBACK:
        if (len != sizeof(QOF_TimerCbPair)) {
            return standin::kRefused;
        }
        std::memcpy(&attr->cbPair, value, sizeof(QOF_TimerCbPair));
        attr->hasCallback = true;
        return 0;
    case QOF_TIMER_ATTR_MODE:
    case QOF_TIMER_ATTR_INTERVAL: {
        if (len != sizeof(uint32_t)) {
            return standin::kRefused;
        }
        uint32_t v = 0;
        std::memcpy(&v, value, sizeof(v));
        (id == QOF_TIMER_ATTR_MODE ? attr->mode : attr->interval) = v;
        return 0;
    }
    case QOF_TIMER_ATTR_NAME:
        if (len == 0 || len > standin::kMaxNameLen) {
            return standin::kRefused;
        }
        attr->name.assign(static_cast<const char *>(value), len);
        attr->nameLen = len;
        return 0;
    default:
        return standin::kRefused;
    }
}

extern "C" void QOF_TimerDestroyAttr(QOF_TimerAttr *attr)
{
    (void)STANDIN_FAILING();  // counted; a release cannot fail
    if (standin::g_attrs.erase(attr) != 0) {
        delete attr;
    }
}

extern "C" QOF_Timer *QOF_TimerCreate(uintptr_t thHandle, QOF_TimerAttr *attr)
{
    STANDIN_FAIL_POINT(nullptr);
    if (thHandle == 0 || attr == nullptr || standin::g_attrs.count(attr) == 0 || !attr->hasCallback) {
        return nullptr;
    }
    auto t = std::make_unique<QOF_Timer>();
    t->name = attr->name;
    STANDIN_TimerInfo &info = t->info;
    info.timerId = static_cast<uint32_t>(standin::g_timers.size() + 1);
    info.thHandle = thHandle;
    info.cbPair = attr->cbPair;
    info.mode = attr->mode;
    info.interval = attr->interval;
    info.nameLen = attr->nameLen;
    info.name = t->name.c_str();
    info.running = 0;
    info.alive = 1;
    QOF_Timer *timer = t.get();
    standin::g_timers.push_back(std::move(t));
    standin::g_known.insert(timer);
    standin::Record(STANDIN_TIMER_CREATE, timer, 0);
    return timer;
}

extern "C" uint32_t QOF_TimerStart(QOF_Timer *timer)
{
    STANDIN_FAIL_POINT(failStatus);
    QOF_Timer *t = standin::Known(timer);
    if (t == nullptr || t->info.alive == 0) {
        return standin::kRefused;
    }
    const uint32_t wasRunning = t->info.running;
    standin::Record(STANDIN_TIMER_START, t, wasRunning);
    if (wasRunning == 0) {
        t->info.running = 1;
        standin::Arm(t);
    }
    return 0;
}

extern "C" uint32_t QOF_TimerStop(QOF_Timer *timer)
{
    STANDIN_FAIL_POINT(failStatus);
    QOF_Timer *t = standin::Known(timer);
    if (t == nullptr || t->info.alive == 0) {
        return standin::kRefused;
    }
    const uint32_t wasRunning = t->info.running;
    standin::Record(STANDIN_TIMER_STOP, t, wasRunning);
    t->info.running = 0;
    if (t->tick != 0) {
        (void)standin::LoopCancel(t->tick);
        t->tick = 0;
    }
    return 0;
}

extern "C" uint32_t QOF_TimerDestroy(QOF_Timer *timer)
{
    STANDIN_FAIL_POINT(failStatus);
    QOF_Timer *t = standin::Known(timer);
    if (t == nullptr || t->info.alive == 0) {
        return standin::kRefused;
    }
    standin::Record(STANDIN_TIMER_DESTROY, t, t->info.running);
    if (t->tick != 0) {
        (void)standin::LoopCancel(t->tick);
        t->tick = 0;
    }
    t->info.running = 0;
    t->info.alive = 0;
    return 0;
}

extern "C" size_t STANDIN_TimerEventCount(void)
{
    return standin::g_events.size();
}

extern "C" const STANDIN_TimerEvent *STANDIN_TimerEventGet(size_t index)
{
    return index < standin::g_events.size() ? &standin::g_events[index] : nullptr;
}

extern "C" void STANDIN_TimerEventClear(void)
{
    standin::g_events.clear();
}

extern "C" const STANDIN_TimerInfo *STANDIN_TimerFind(const char *name)
{
    if (name == nullptr) {
        return nullptr;
    }
    for (auto it = standin::g_timers.rbegin(); it != standin::g_timers.rend(); ++it) {
        if ((*it)->name == name) {
            return &(*it)->info;
        }
    }
    return nullptr;
}

extern "C" size_t STANDIN_TimerAliveCount(void)
{
    size_t n = 0;
    for (const auto &t : standin::g_timers) {
        n += t->info.alive != 0 ? 1u : 0u;
    }
    return n;
}

extern "C" size_t STANDIN_TimerAttrAliveCount(void)
{
    return standin::g_attrs.size();
}
